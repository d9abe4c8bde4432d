#include "chat/chat_links.h"

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/seams.h"
#include "chat/web_address.h"

namespace chat_links {

QList<WebLink> FindWebLinks(const QString& text) {
    QList<WebLink> links;
    // Cheap test first: a busy room sends many lines, few with addresses.
    if (!text.contains(QLatin1String("http"), Qt::CaseInsensitive)) return links;
    // Not after a letter, digit or ':' (so "xhttp://" and "javascript:http://" are no links
    // of their own scheme), up to white space or characters that never belong to an address.
    static const QRegularExpression kAddress(
        QStringLiteral(R"((?<![\w:/])https?://[^\s<>"'`{}|\\^]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    auto it = kAddress.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString address = m.captured(0);
        // Punctuation that ends a sentence, or a bracket that encloses the address.
        while (!address.isEmpty()) {
            const QChar last = address.back();
            if (QStringLiteral(".,;:!?").contains(last) ||
                (last == QLatin1Char(')') && !address.contains(QLatin1Char('('))) ||
                (last == QLatin1Char(']') && !address.contains(QLatin1Char('['))))
                address.chop(1);
            else
                break;
        }
        if (!IsAcceptedWebAddress(address)) continue;
        links.append({int(m.capturedStart(0)), int(address.size()), address});
    }
    return links;
}

void MarkWebLinks(QTextDocument& document, int position, const QString& text,
                  const QColor& colour) {
    const QList<WebLink> links = FindWebLinks(text);
    if (links.isEmpty()) return;
    QTextCursor cursor(&document);
    for (const WebLink& link : links) {
        QTextCharFormat format;
        format.setAnchor(true);
        format.setAnchorHref(link.address);
        format.setFontUnderline(true);
        format.setForeground(colour);
        cursor.setPosition(position + link.start);
        cursor.setPosition(position + link.start + link.length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    }
}

}  // namespace chat_links

ChatLinkOpener::ChatLinkOpener(QPlainTextEdit& display, IDesktop* desktop)
    : QObject(&display), display_(display), viewport_(display.viewport()), desktop_(desktop) {
    viewport_->installEventFilter(this);
    viewport_->setMouseTracking(true);
}

QString ChatLinkOpener::LinkAt(const QPoint& pos) const {
    // The character under the pointer itself, not merely the nearest caret position: a
    // click in the empty space after a line opens nothing.
    const QTextCursor hit = display_.cursorForPosition(pos);
    const QTextBlock block = hit.block();
    for (const int p : {hit.position(), hit.position() - 1}) {
        if (p < block.position() || p >= block.position() + block.length() - 1) continue;
        QTextCursor before(display_.document());
        before.setPosition(p);
        QTextCursor after(display_.document());
        after.setPosition(p + 1);
        const QRect a = display_.cursorRect(before);
        const QRect b = display_.cursorRect(after);
        if (a.top() != b.top() || pos.y() < a.top() || pos.y() > a.bottom()) continue;
        if (pos.x() < qMin(a.left(), b.left()) || pos.x() > qMax(a.left(), b.left())) continue;
        const QTextCharFormat format = after.charFormat();  // that of the character at p
        // Only what the detection marked can be an anchor; checked again all the same.
        if (format.isAnchor() && IsAcceptedWebAddress(format.anchorHref()))
            return format.anchorHref();
    }
    return {};
}

bool ChatLinkOpener::eventFilter(QObject* watched, QEvent* event) {
    if (watched != viewport_) return false;
    switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* e = static_cast<QMouseEvent*>(event);
            if (LinkAt(e->position().toPoint()).isEmpty())
                viewport_->setCursor(Qt::IBeamCursor);
            else
                viewport_->setCursor(Qt::PointingHandCursor);
            break;
        }
        case QEvent::MouseButtonPress: {
            const auto* e = static_cast<QMouseEvent*>(event);
            pressedLink_ =
                e->button() == Qt::LeftButton ? LinkAt(e->position().toPoint()) : QString();
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto* e = static_cast<QMouseEvent*>(event);
            // A press and release on the same link, without a selection dragged out of it.
            const QString link = LinkAt(e->position().toPoint());
            const bool open = e->button() == Qt::LeftButton && !link.isEmpty() &&
                              link == pressedLink_ && !display_.textCursor().hasSelection();
            pressedLink_.clear();
            if (open && desktop_) desktop_->OpenUrl(link);
            break;
        }
        default:
            break;
    }
    return false;
}
