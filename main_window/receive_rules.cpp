#include "main_window/receive_rules.h"

#include "base/number_text.h"
#include "port/port_control.h"

namespace main_window {

EventTexts eventTextsFor(qint16 code) {
    namespace E = port::CommEventCode;
    switch (code) {
    case E::Send:
    case E::Receive:
        return {};
    case E::CtsChanged:
        return {QStringLiteral("Change in CTS Detected"), {}};
    case E::DsrChanged:
        return {QStringLiteral("Change in DSR Detected"), {}};
    case E::CdChanged:
        return {QStringLiteral("Change in CD Detected"), {}};
    case E::Ring:
        return {QStringLiteral("The Phone is Ringing"), {}};
    case E::EndOfFile:
        return {QStringLiteral("End of File Detected"), {}};
    case E::Break:
        return {QStringLiteral("Break Received"), {}};
    case E::CtsTimeout:
        return {{}, QStringLiteral("CTS Timeout")};
    case E::DsrTimeout:
        return {{}, QStringLiteral("DSR Timeout")};
    case E::Framing:
        return {QStringLiteral("Framing Error"), {}};
    case E::Overrun:
        return {{}, QStringLiteral("Overrun Error")};
    case E::CdTimeout:
        return {{}, QStringLiteral("Carrier Detect Timeout")};
    case E::RxOver:
        return {{}, QStringLiteral("Receive Buffer Overflow")};
    case E::RxParity:
        return {QStringLiteral("Parity Error"), {}};
    case E::TxFull:
        return {{}, QStringLiteral("Transmit Buffer Full")};
    default:
        return {{}, QStringLiteral("Unknown error or event") + base::decimalText(code)};
    }
}

} // namespace main_window
