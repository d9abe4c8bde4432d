#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

class IDesktop;
class QPlainTextEdit;
class QTextDocument;

// Web addresses in the conversation. Only http and https addresses become links; every
// other scheme (javascript:, file:, data:, ...) stays plain text. Links are character
// formats on the plain text, never markup, so nothing a line holds is interpreted.
namespace chat_links {

struct WebLink {
    int start = 0;
    int length = 0;
    QString address;
};

// The http and https addresses in `text`, without trailing punctuation.
QList<WebLink> FindWebLinks(const QString& text);
// Marks the links of `text`, which the document holds from `position` on.
void MarkWebLinks(QTextDocument& document, int position, const QString& text, const QColor& colour);

}  // namespace chat_links

// Opens a link of the conversation in the user's browser when it is clicked, and shows the
// pointing hand over it.
class ChatLinkOpener : public QObject {
    Q_OBJECT

public:
    ChatLinkOpener(QPlainTextEdit& display, IDesktop* desktop);

    // The web address under `pos` (viewport coordinates), or empty.
    QString LinkAt(const QPoint& pos) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit& display_;
    // Kept apart from the display: the viewport's last events come while the display is
    // already being destroyed, when it can no longer be asked for its viewport.
    QWidget* viewport_;
    IDesktop* desktop_;
    QString pressedLink_;
};
