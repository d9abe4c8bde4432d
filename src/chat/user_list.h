#pragma once

#include <QString>
#include <QtGlobal>

// The people of the current room as the window's logic sees its user list: a sorted,
// single-selection list whose entries carry a colour (blue-green-red word, 0 = default).
class IUserList {
public:
    virtual ~IUserList() = default;
    // Adds in sorted order; returns the new index, or a negative value when refused.
    virtual int AddColoredName(const QString& name, quint32 colour) = 0;
    // Removes the first entry whose whole text equals `name`, letter case ignored.
    virtual bool RemoveNameIgnoringCase(const QString& name) = 0;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    virtual QString Text(int index) const = 0;
    virtual quint32 Colour(int index) const = 0;
    virtual int SelectedIndex() const = 0;  // -1 when nothing is selected
    virtual void Select(int index) = 0;
    virtual void RedrawNow() = 0;
    virtual void SetFocus() = 0;
};

inline constexpr quint32 kOwnerColour = 0xFF0000;  // blue, in blue-green-red order
