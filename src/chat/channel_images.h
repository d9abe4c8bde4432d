#pragma once

#include <QIcon>

// Artwork drawn in code: the channel list's speaker images and the window's icons.
namespace channel_images {

// Each image is drawn from its outline at the size and pixel density asked for.
// A speaker, designed 17 units wide, on white; `crossedOut` strikes it through (no audio).
QIcon Speaker(bool crossedOut);
// The main window's icon: a speech bubble.
QIcon MainIcon();
// The Send button's image: an arrow.
QIcon SendIcon();

}  // namespace channel_images
