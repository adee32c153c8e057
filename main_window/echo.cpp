#include "main_window/echo.h"

qint16 EchoEnabled = VbFalse;
