#pragma once

#include "app/seams.h"
#include "chat/user_list.h"

// The window's optional parts when none is attached (tests bind fakes for some of them
// only): commands go nowhere and the people list stays empty, so no use needs a check.
struct StandInParts {
    struct Skin : ISkin {
        void RunSkinCommand(const QString&) override {}
        void SetSkinElementText(const QString&, const QString&) override {}
    };
    struct WebPane : IWebPane {
        void Navigate(const QString&) override {}
        void GoBack() override {}
        void Reload() override {}
        void Stop() override {}
        QString Title() const override { return {}; }
        QString Address() const override { return {}; }
        void SetVisible(bool) override {}
        bool IsVisible() const override { return false; }
    };
    struct MediaPlayer : IMediaPlayer {
        void Play() override {}
        void Pause() override {}
        void Stop() override {}
        void Open(const QString&) override {}
        int OpenStatus() const override { return 0; }
    };
    struct UserList : IUserList {
        int AddColoredName(const QString&, quint32) override { return -1; }
        bool RemoveNameIgnoringCase(const QString&) override { return false; }
        void Clear() override {}
        int Count() const override { return 0; }
        QString Text(int) const override { return {}; }
        quint32 Colour(int) const override { return 0; }
        int SelectedIndex() const override { return -1; }
        void Select(int) override {}
        void RedrawNow() override {}
        void SetFocus() override {}
    };

    Skin skin;
    WebPane portal;
    WebPane effectPane;
    MediaPlayer media;
    UserList userList;
};
