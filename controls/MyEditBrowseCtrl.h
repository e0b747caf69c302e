// The installation-folder field: a one-line edit with a folder-picker button at its right.
#pragma once

#include <QLineEdit>

class QImage;
class QToolButton;

class MyEditBrowseCtrl : public QLineEdit
{
    Q_OBJECT
public:
    explicit MyEditBrowseCtrl(int id, QWidget* parent = nullptr);

    const QImage* m_pButtonImage = nullptr;  // not owned

    QToolButton* browseButton() const { return m_pButton; }

    // Where the picker opens: the field's folder, or its nearest existing ancestor when the
    // folder does not exist yet (a picker given a missing folder would start somewhere else).
    QString BrowseStartFolder() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    virtual void OnBrowse();  // opens the folder picker at the field's folder

    // Asks the user for a folder starting at `start`; an empty result means cancelled.
    virtual QString ChooseFolder(const QString& start);

private:
    void PlaceButton();

    QToolButton* m_pButton;
};
