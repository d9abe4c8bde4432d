#pragma once

#include <QIcon>

// Artwork drawn in code: the channel list's speaker images and the window's icons.
namespace channel_images {

// A speaker, 17 pixels wide, on white; `crossedOut` strikes it through (no audio).
QIcon Speaker(bool crossedOut, int size = 17);
// The main window's icon: a speech bubble.
QIcon MainIcon();
// The Send button's image: an arrow.
QIcon SendIcon();

}  // namespace channel_images
