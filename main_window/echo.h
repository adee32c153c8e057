#pragma once

#include <QtGlobal>

// Local echo of typed characters, program-wide. True is -1 and false is 0; echo is on only
// when the flag holds exactly true.
constexpr qint16 VbTrue = -1;
constexpr qint16 VbFalse = 0;
extern qint16 EchoEnabled;
