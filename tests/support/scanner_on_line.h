#pragma once

#include "fake_port.h"
#include "line_delivery.h"

#include "find_settings/window/find_settings_texts.h"
#include "port/port_control.h"

// A scanner set to `sender` on the line of a FakePort: each scan reaches the port as a UART at
// the settings the program asked the port for would receive it, line errors through the port's
// error tap and the characters through its receive path.
class ScannerOnLine {
public:
    ScannerOnLine(FakePort& port, const find_settings::LineFormat& sender)
        : port_(port), sender_(sender) {}

    void scan(const std::string& code) {
        const auto receiver = find_settings::formatOfSettings(port_.Settings());
        if (!receiver)
            return;
        for (const PortDelivery& step : deliverScan(sender_, *receiver, code)) {
            if (step.error)
                port_.raise(*step.error == find_settings::LineError::Break
                                ? port::CommEventCode::Break
                            : *step.error == find_settings::LineError::Parity
                                ? port::CommEventCode::RxParity
                                : port::CommEventCode::Framing);
            if (step.character)
                port_.receive(QString(QChar(uchar(*step.character))));
        }
    }

private:
    FakePort& port_;
    find_settings::LineFormat sender_;
};
