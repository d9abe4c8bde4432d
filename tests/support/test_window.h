#pragma once

#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "support/fakes.h"

// A main window bound to recording fakes, with its settings in a private folder.
// Socket time-outs are short so that a failing exchange does not hold a test up.
struct TestWindow {
    // `configure` may change the services (endpoints, ports, time-outs) before the window
    // is built.
    explicit TestWindow(const std::function<void(WindowServices&)>& configure = {});
    ~TestWindow();

    QTemporaryDir dir;
    FakeMessageBox box;
    FakeSoundPlayer sounds;
    FakeDesktop desktop;
    FakeClock clock;
    FakeSkin skin;
    FakeWebPane portal;
    FakeWebPane effectPane;
    FakeMediaPlayer media;
    FakeUserList users;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<CKestrivanDlg> dlg;

    CKestrivanDlg& w() { return *dlg; }
};
