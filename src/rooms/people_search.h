#pragma once

#include <QString>

// What the "Find people" dialog asks of its owner: where somebody is, and delivery of a
// message to that person.
class PeopleSearch {
public:
    virtual ~PeopleSearch() = default;
    // The room `nickname` is in, or empty when in no room or the look-up failed.
    virtual QString FindUser(const QString& nickname) = 0;
    virtual void SendToFoundUser(const QString& nickname, const QString& room,
                                 const QString& message) = 0;
};
