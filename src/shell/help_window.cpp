#include "shell/help_window.h"

#include <QImage>
#include <QPainter>
#include <QStringDecoder>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {
QString ObjectPath(const QUrl& url) {
    QString path = url.path();
    if (!path.startsWith(QLatin1Char('/'))) path.prepend(QLatin1Char('/'));
    return path;
}
}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setObjectName(QStringLiteral("helpBrowser"));
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() != QLatin1String(HelpWindow::kScheme) || !file_) return {};
    const std::optional<QByteArray> bytes = file_->Read(ObjectPath(name));
    if (!bytes) return {};
    if (type == QTextDocument::ImageResource) {
        const bool svg = ObjectPath(name).endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
        return Image(*bytes, svg, devicePixelRatioF());
    }
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource) {
        // Help pages are written in UTF-8 or declare their own encoding.
        auto decoder = QStringDecoder::decoderForHtml(*bytes);
        if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
        return QString(decoder(*bytes));
    }
    return *bytes;
}

QImage HelpBrowser::Image(const QByteArray& bytes, bool svg, qreal dpr) {
    if (!svg) return QImage::fromData(bytes);
    QSvgRenderer renderer(bytes);
    if (!renderer.isValid()) return {};
    QImage image(renderer.defaultSize() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        renderer.render(&p);
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

HelpWindow::HelpWindow(ExternalLinkOpener openExternal, QWidget* parent)
    : QWidget(parent), openExternal_(std::move(openExternal)), browser_(new HelpBrowser(this)) {
    setWindowTitle(QStringLiteral("Zorvi Help"));
    setObjectName(QStringLiteral("helpWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(640, 480);
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::OnAnchorClicked);
}

HelpWindow::~HelpWindow() { browser_->SetFile(nullptr); }

QString HelpWindow::ErrorText(const QString& file) {
    return QStringLiteral("The help file \"%1\" cannot be opened.").arg(file);
}

bool HelpWindow::Open(const QString& helpPath) {
    const qsizetype split = helpPath.indexOf(QStringLiteral("::"));
    const QString filePath = split < 0 ? helpPath : helpPath.left(split);
    const QString topic = split < 0 ? QString() : helpPath.mid(split + 2);

    browser_->SetFile(nullptr);
    file_ = std::make_unique<ChmFile>(filePath);
    if (!file_->isOpen()) {
        ShowError(ErrorText(filePath));
        return false;
    }
    browser_->SetFile(file_.get());
    QUrl url;
    url.setScheme(QString::fromLatin1(kScheme));
    url.setPath(topic.isEmpty() ? QStringLiteral("/") : ObjectPath(QUrl(topic)));
    if (!file_->Read(url.path())) {
        ShowError(ErrorText(helpPath));
        return false;
    }
    browser_->setSource(url, QTextDocument::HtmlResource);
    return true;
}

void HelpWindow::ShowError(const QString& text) {
    browser_->clear();
    // The path came from settings; it is shown as text, never as markup.
    browser_->setPlainText(text);
}

void HelpWindow::OnAnchorClicked(const QUrl& link) {
    const QUrl target = browser_->source().resolved(link);
    if (target.scheme() == QLatin1String(kScheme)) {
        if (file_ && file_->Read(ObjectPath(target)))
            browser_->setSource(target, QTextDocument::HtmlResource);
        return;
    }
    if (openExternal_) openExternal_(target);
}
