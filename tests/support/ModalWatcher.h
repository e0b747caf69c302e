// Test helper: answers the message boxes a window under test opens, and records what they said.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QVector>

struct SeenBox
{
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
};

// While alive, polls for modal QMessageBoxes every 20 ms, records each one and answers it with
// the next button of `answers` (or the box's default/escape button once they are used up).
class ModalWatcher
{
public:
    explicit ModalWatcher(QVector<QMessageBox::StandardButton> answers = {})
        : m_answers(std::move(answers))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    QVector<SeenBox> seen;

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || m_answered.contains(box))
                continue;
            m_answered.append(box);
            seen.append({box->text(), box->windowTitle(), box->standardButtons()});
            QAbstractButton* button = nullptr;
            if (!m_answers.isEmpty())
                button = box->button(m_answers.takeFirst());
            if (!button)
                button = box->escapeButton() ? box->escapeButton() : box->defaultButton();
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button)
                QTimer::singleShot(0, button, &QAbstractButton::click);
        }
    }

    QVector<QMessageBox::StandardButton> m_answers;
    QVector<QPointer<QMessageBox>> m_answered;
    QTimer m_timer;
};
