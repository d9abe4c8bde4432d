#include "support/test_window.h"

TestWindow::TestWindow(const std::function<void(WindowServices&)>& configure) {
    settings = std::make_unique<SettingsStore>(
        dir.filePath(QStringLiteral("user/Marquent/Zorvi.conf")),
        dir.filePath(QStringLiteral("machine/Marquent/Zorvi.conf")));
    WindowServices services;
    services.messageBox = &box;
    services.sounds = &sounds;
    services.desktop = &desktop;
    services.clock = &clock;
    services.settings = settings.get();
    services.endpoints.loginHost = QStringLiteral("127.0.0.1");
    services.endpoints.chatHost = QStringLiteral("127.0.0.1");
    services.endpoints.webUrl = QStringLiteral("http://127.0.0.1:1");
    services.sockets.connectTimeout = std::chrono::milliseconds(2000);
    services.sockets.ioTimeout = std::chrono::milliseconds(2000);
    if (configure) configure(services);
    dlg = std::make_unique<CKestrivanDlg>(services);
    WindowParts parts;
    parts.skin = &skin;
    parts.portal = &portal;
    parts.effectPane = &effectPane;
    parts.media = &media;
    parts.userList = &users;
    dlg->AttachParts(parts);
}

TestWindow::~TestWindow() = default;
