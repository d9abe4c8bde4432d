#pragma once

#include <QString>
#include <array>
#include <functional>

class QWidget;

// Keyboard access to the skin's wings: Alt+1 to Alt+4 press the wing buttons as a click
// would, so the skin's own script and the program's operation both run. The help file's
// "Keyboard" section lists the same keys.
class WingShortcuts {
public:
    struct Wing {
        const char* keys;
        const char* element;
    };
    static constexpr std::array<Wing, 4> kWings{{{"Alt+1", "RightWingButton"},
                                                 {"Alt+2", "LeftWingButton"},
                                                 {"Alt+3", "EffectButton"},
                                                 {"Alt+4", "MediaButton"}}};

    using Press = std::function<void(const QString& element)>;
    // The shortcuts live as children of `window`.
    static void Install(QWidget& window, const Press& press);
};
