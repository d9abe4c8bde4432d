#pragma once

#include <QColor>
#include <QString>
#include <QTime>

class IClock;
class QTextDocument;

// Writes lines at the end of the conversation: with the arrival time "[HH:MM] " in front
// of each line when time stamps are on, and with web addresses marked as links. The
// conversation without the times stays recoverable: a stamped line's block remembers the
// stamp's length, so the saved transcript holds the lines exactly as they arrived.
class ChatLineWriter {
public:
    explicit ChatLineWriter(const IClock* clock) : clock_(clock) {}

    void SetTimestamps(bool on) { timestamps_ = on; }
    bool timestamps() const { return timestamps_; }
    void SetLinkColour(const QColor& colour) { linkColour_ = colour; }

    // Appends `displayText` (lines ended by "\n") at the very end of `document`.
    void Append(QTextDocument& document, const QString& displayText) const;

    // "[13:05] " for 13:05.
    static QString Stamp(const QTime& time);
    // The document's plain text with every arrival time taken out.
    static QString TextWithoutTimes(const QTextDocument& document);

private:
    const IClock* clock_;
    bool timestamps_ = false;
    QColor linkColour_{0x00, 0x55, 0xc8};
};
