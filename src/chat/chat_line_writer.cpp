#include "chat/chat_line_writer.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/seams.h"
#include "chat/chat_links.h"

namespace {
// Blocks without a stamp keep the document's default state, -1.
constexpr int kNoStamp = -1;
}  // namespace

QString ChatLineWriter::Stamp(const QTime& time) {
    return QLatin1Char('[') + time.toString(QStringLiteral("HH:mm")) + QLatin1String("] ");
}

void ChatLineWriter::Append(QTextDocument& document, const QString& displayText) const {
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    const int position = cursor.position();
    // A fresh format: the text before may end in a link, whose format must not run on.
    cursor.setCharFormat(QTextCharFormat());
    if (!timestamps_ || !clock_) {
        cursor.insertText(displayText);
        chat_links::MarkWebLinks(document, position, displayText, linkColour_);
        return;
    }

    // Empty lines stay empty: they separate, and an empty line reads the same everywhere.
    const QString stamp = Stamp(clock_->Now().time());
    QStringList lines = displayText.split(QLatin1Char('\n'));
    QList<bool> stamped;
    for (QString& line : lines) {
        stamped << !line.isEmpty();
        if (!line.isEmpty()) line.prepend(stamp);
    }
    const QString text = lines.join(QLatin1Char('\n'));
    cursor.insertText(text);
    chat_links::MarkWebLinks(document, position, text, linkColour_);

    QTextBlock block = document.findBlock(position);
    for (qsizetype i = 0; i < stamped.size() && block.isValid(); ++i, block = block.next())
        block.setUserState(stamped.at(i) ? int(stamp.size()) : kNoStamp);
}

QString ChatLineWriter::TextWithoutTimes(const QTextDocument& document) {
    QString text = document.toPlainText();
    // From the end, so that the positions of earlier blocks stay valid.
    for (QTextBlock block = document.lastBlock(); block.isValid(); block = block.previous()) {
        const int stampLength = block.userState();
        if (stampLength > 0) text.remove(block.position(), stampLength);
    }
    return text;
}
