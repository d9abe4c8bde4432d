#pragma once

#include <QString>

#include "app/seams.h"

// Where each program sound lives among the program's resources.
inline QString ProgramSoundResource(ProgramSound sound) {
    return QStringLiteral(":/res/sounds/%1.wav").arg(int(sound));
}

inline constexpr ProgramSound kAllProgramSounds[] = {ProgramSound::Welcome, ProgramSound::Goodbye,
                                                     ProgramSound::PrivateMessage,
                                                     ProgramSound::Beep, ProgramSound::Wing};
