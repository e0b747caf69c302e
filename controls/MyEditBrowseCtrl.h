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

protected:
    void resizeEvent(QResizeEvent* event) override;
    virtual void OnBrowse();  // opens the folder picker at the field's folder

private:
    QToolButton* m_pButton;
};
