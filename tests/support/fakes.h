#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <vector>

#include "app/seams.h"

// Records every box shown; answers questions from a script (Yes when the script is empty).
class FakeMessageBox : public IMessageBox {
public:
    void Show(const QString& text) override { shown.push_back(text); }
    bool AskYesNo(const QString& text) override {
        asked.push_back(text);
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QStringList shown;
    QStringList asked;
    std::deque<bool> answers;
};

class FakeSoundPlayer : public ISoundPlayer {
public:
    void Play(ProgramSound sound, bool wait) override { played.emplace_back(sound, wait); }
    std::vector<std::pair<ProgramSound, bool>> played;
};

class FakeWebPane : public IWebPane {
public:
    void Navigate(const QString& address) override {
        calls << QStringLiteral("Navigate ") + address;
        address_ = address;
        title_ = titleFor(address);
    }
    void GoBack() override { calls << QStringLiteral("GoBack"); }
    void Reload() override { calls << QStringLiteral("Reload"); }
    void Stop() override { calls << QStringLiteral("Stop"); }
    QString Title() const override { return title_; }
    QString Address() const override { return address_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool IsVisible() const override { return visible_; }

    // Tests set what a page would report.
    void SetPage(const QString& address, const QString& title) {
        address_ = address;
        title_ = title;
    }
    QStringList calls;

private:
    static QString titleFor(const QString&) { return {}; }
    QString address_;
    QString title_;
    bool visible_ = false;
};

class FakeMediaPlayer : public IMediaPlayer {
public:
    void Play() override { calls << QStringLiteral("Play"); }
    void Pause() override { calls << QStringLiteral("Pause"); }
    void Stop() override { calls << QStringLiteral("Stop"); }
    void Open(const QString& a) override { calls << QStringLiteral("Open ") + a; }
    int OpenStatus() const override { return openStatus; }
    QStringList calls;
    int openStatus = 0;
};

class FakeDesktop : public IDesktop {
public:
    void OpenUrl(const QString& a) override { opened << a; }
    void ShowHelp(const QString& p) override { help << p; }
    QStringList opened;
    QStringList help;
};

class FakeClock : public IClock {
public:
    QDateTime Now() const override { return now; }
    QDateTime now = QDateTime(QDate(2000, 1, 18), QTime(13, 5));
};

class FakeSkin : public ISkin {
public:
    void RunSkinCommand(const QString& c) override { commands << c; }
    void SetSkinElementText(const QString& e, const QString& t) override {
        texts << e + QStringLiteral("=") + t;
    }
    QStringList commands;
    QStringList texts;
};

#include "chat/user_list.h"

// A user list without a widget: sorted like the real one (case-insensitive).
class FakeUserList : public IUserList {
public:
    int AddColoredName(const QString& name, quint32 colour) override {
        int i = 0;
        while (i < int(entries.size()) && entries[i].first.compare(name, Qt::CaseInsensitive) <= 0)
            ++i;
        entries.insert(entries.begin() + i, {name, colour});
        if (selected >= i) ++selected;
        return i;
    }
    bool RemoveNameIgnoringCase(const QString& name) override {
        for (int i = 0; i < int(entries.size()); ++i) {
            if (entries[i].first.compare(name, Qt::CaseInsensitive) == 0) {
                entries.erase(entries.begin() + i);
                if (selected == i)
                    selected = -1;
                else if (selected > i)
                    --selected;
                return true;
            }
        }
        return false;
    }
    void Clear() override {
        entries.clear();
        selected = -1;
    }
    int Count() const override { return int(entries.size()); }
    QString Text(int i) const override { return entries.at(i).first; }
    quint32 Colour(int i) const override { return entries.at(i).second; }
    int SelectedIndex() const override { return selected; }
    void Select(int i) override { selected = i; }
    void RedrawNow() override { ++redraws; }
    void SetFocus() override { ++focused; }

    QStringList Names() const {
        QStringList n;
        for (const auto& e : entries) n << e.first;
        return n;
    }
    std::vector<std::pair<QString, quint32>> entries;
    int selected = -1;
    int redraws = 0;
    int focused = 0;
};
