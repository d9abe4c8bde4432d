#pragma once

#include <QImage>
#include <QTextBrowser>
#include <QWidget>
#include <functional>
#include <memory>

#include "shell/chm_file.h"

// Shows pages of a compiled help file. Pages and images come out of the file; links that
// leave the file go to the user's browser.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT

public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    void SetFile(const ChmFile* file) { file_ = file; }
    QVariant loadResource(int type, const QUrl& name) override;
    // An image of the help file. SVG artwork is drawn at its own size for a screen with
    // `dpr` device pixels per logical pixel, so that it stays sharp where a bitmap blurs.
    static QImage Image(const QByteArray& bytes, bool svg, qreal dpr);

private:
    const ChmFile* file_ = nullptr;
};

// The program's help viewer. Open takes "<file>.chm::/<topic>".
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    using ExternalLinkOpener = std::function<void(const QUrl&)>;
    static constexpr const char* kScheme = "chm";

    explicit HelpWindow(ExternalLinkOpener openExternal, QWidget* parent = nullptr);
    ~HelpWindow() override;

    // False when the file or the topic cannot be found; the window then shows its error.
    bool Open(const QString& helpPath);
    HelpBrowser* browser() const { return browser_; }

    static QString ErrorText(const QString& file);

private:
    void OnAnchorClicked(const QUrl& link);
    void ShowError(const QString& text);

    ExternalLinkOpener openExternal_;
    HelpBrowser* browser_;
    std::unique_ptr<ChmFile> file_;
};
