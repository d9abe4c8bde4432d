#pragma once

#include <QLineEdit>
#include <functional>

class QPlainTextEdit;
class QWidget;

// Finds text in the conversation: each step selects the next (or previous) match and
// scrolls to it, wrapping at either end. Case is ignored.
class ChatFinder {
public:
    explicit ChatFinder(QPlainTextEdit& display) : display_(display) {}

    // False when the conversation holds no match; the selection then stays as it was.
    bool Step(const QString& text, bool backward);
    // From the start of the current selection: typing more refines the match in place.
    bool Refine(const QString& text);

private:
    QPlainTextEdit& display_;
};

// The find bar: a small line edit over the bottom of the conversation. Enter finds the next
// match, Shift+Enter the previous one, Escape closes the bar and gives the focus back to the
// chat input.
class FindBar : public QLineEdit {
    Q_OBJECT

public:
    FindBar(QPlainTextEdit& display, QWidget* returnFocusTo, QWidget* parent);

    // Shows the bar, placed over the conversation, with the focus in it.
    void Open();
    void Close();
    // Where the bar goes: just above the input, over the bottom of the conversation, across
    // its width. A skin that names a place for it takes precedence (`skinRect`, in the
    // bar's parent's coordinates, when valid).
    void Place(const QRect& skinRect = {});

    // Asks the skin where the bar goes when it opens; an invalid rectangle means nowhere in
    // particular.
    void SetSkinPlacement(std::function<QRect()> placement) {
        skinPlacement_ = std::move(placement);
    }

    bool lastFound() const { return lastFound_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Show(bool found);

    QPlainTextEdit& display_;
    QWidget* returnFocusTo_;
    ChatFinder finder_;
    bool lastFound_ = true;
    std::function<QRect()> skinPlacement_;
};
