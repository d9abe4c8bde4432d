#include "chat/find_bar.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QTextCursor FindFrom(const QTextDocument& document, const QString& text, const QTextCursor& from,
                     bool backward) {
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    return document.find(text, from, flags);
}

}  // namespace

bool ChatFinder::Step(const QString& text, bool backward) {
    if (text.isEmpty()) return false;
    const QTextDocument& document = *display_.document();
    QTextCursor found = FindFrom(document, text, display_.textCursor(), backward);
    if (found.isNull()) {
        // Round the end to the other end.
        QTextCursor edge(display_.document());
        edge.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = FindFrom(document, text, edge, backward);
    }
    if (found.isNull()) return false;
    display_.setTextCursor(found);
    display_.ensureCursorVisible();
    return true;
}

bool ChatFinder::Refine(const QString& text) {
    QTextCursor start = display_.textCursor();
    start.setPosition(start.selectionStart());
    display_.setTextCursor(start);
    return Step(text, false);
}

FindBar::FindBar(QPlainTextEdit& display, QWidget* returnFocusTo, QWidget* parent)
    : QLineEdit(parent), display_(display), returnFocusTo_(returnFocusTo), finder_(display) {
    setObjectName(QStringLiteral("findBar"));
    setAccessibleName(QStringLiteral("Find in conversation"));
    setPlaceholderText(QStringLiteral("Find (Enter: next, Shift+Enter: previous, Esc: close)"));
    setClearButtonEnabled(true);
    hide();
    connect(this, &QLineEdit::textEdited, this,
            [this](const QString& text) { Show(text.isEmpty() || finder_.Refine(text)); });
}

void FindBar::Open() {
    Place(skinPlacement_ ? skinPlacement_() : QRect());
    show();
    raise();
    setFocus(Qt::ShortcutFocusReason);
    selectAll();
}

void FindBar::Close() {
    hide();
    if (returnFocusTo_) returnFocusTo_->setFocus(Qt::ShortcutFocusReason);
}

void FindBar::Place(const QRect& skinRect) {
    if (skinRect.isValid()) {
        setGeometry(skinRect);
        return;
    }
    QWidget* host = parentWidget();
    if (!host) return;
    const QRect conversation(display_.mapTo(host, QPoint(0, 0)), display_.size());
    int bottom = conversation.bottom();
    if (returnFocusTo_ && returnFocusTo_->isVisible()) {
        const int inputTop = returnFocusTo_->mapTo(host, QPoint(0, 0)).y();
        if (inputTop > conversation.top()) bottom = qMin(bottom, inputTop - 1);
    }
    const int height = sizeHint().height();
    setGeometry(conversation.left(), bottom - height + 1, conversation.width(), height);
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Taken here, so that the window's default button (Send) is not pressed.
            Show(finder_.Step(text(), event->modifiers().testFlag(Qt::ShiftModifier)));
            event->accept();
            return;
        case Qt::Key_Escape:
            Close();
            event->accept();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void FindBar::Show(bool found) {
    lastFound_ = found;
    // Said in words for screen readers, and in colour for the eye.
    setAccessibleDescription(found ? QString() : QStringLiteral("No match"));
    if (found) {
        setPalette(QPalette());
        return;
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(0xff, 0xe0, 0xe0));
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
}
