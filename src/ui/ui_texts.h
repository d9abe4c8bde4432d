#pragma once

// Texts of the windows that show the product's name: the login dialog and the progress
// window.
namespace ui_texts {

inline constexpr char kProductLabel[] = "Zorvi";
inline constexpr char kVersionLabel[] = " Version 1.1b";
// The program's small icon, beside the product name.
inline constexpr char kSmallIcon[] = ":/res/login/icon155.svg";

}  // namespace ui_texts
