#include "chat/qt_message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

struct SeenBox {
    QString caption;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButtons buttons;
};

// Answers the next modal message box with `answer` and records what it showed. Gives up
// (leaving the box to the test's own deadline) after five seconds.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton answer) {
    auto* poll = new QTimer(qApp);
    const QDeadlineTimer deadline(5000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, answer, deadline] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box && !deadline.hasExpired()) return;
        if (box) {
            seen.caption = box->windowTitle();
            seen.text = box->text();
            seen.format = box->textFormat();
            seen.buttons = box->standardButtons();
            box->button(answer)->click();
        }
        poll->deleteLater();
    });
    poll->start(10);
}

}  // namespace

TEST(QtMessageBoxAdapter, ShowsPlainTextUnderTheCaption) {
    QtMessageBox boxes;
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    boxes.Show(QStringLiteral("<b>bob</b> left\n\rthe room\r\nnow"));
    EXPECT_EQ(seen.caption, QStringLiteral("Zorvi"));
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, QStringLiteral("<b>bob</b> left\nthe room\nnow"));
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(QtMessageBoxAdapter, QuestionsReturnTheAnswer) {
    QtMessageBox boxes;
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::No);
    EXPECT_FALSE(boxes.AskYesNo(QStringLiteral("Leave?")));
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    AnswerNextBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(boxes.AskYesNo(QStringLiteral("Leave?")));
    EXPECT_EQ(seen.text, QStringLiteral("Leave?"));
}
