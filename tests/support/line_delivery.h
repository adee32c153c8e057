#pragma once

#include "find_settings/model/settings_search.h"
#include "find_settings/model/uart_model.h"
#include "uart_oracle.h"

#include <optional>
#include <string>
#include <vector>

// One step of what a port hands on: a line error from its error tap, or a character.
struct PortDelivery {
    std::optional<find_settings::LineError> error;
    std::optional<char> character;
};

// What a port at `receiver` hands on when a scanner at `sender` sends `scan`: each character a
// UART at the receiver's settings takes from the line (as the test's own account of the line
// has it, not the program's model), a line error first where it found one (a break brings no
// character), as the real port's taps give them.
inline std::vector<PortDelivery> deliverScan(const find_settings::LineFormat& sender,
                                             const find_settings::LineFormat& receiver,
                                             const std::string& scan) {
    using find_settings::LineError;
    std::vector<PortDelivery> steps;
    const std::vector<std::string> scans{scan};
    for (const find_settings::ReceivedChar& c : uart_oracle::receive(sender, receiver, scans)) {
        if (c.lineBreak) {
            steps.push_back({LineError::Break, std::nullopt});
            continue;
        }
        if (c.framingError || c.parityError)
            steps.push_back(
                {c.framingError ? LineError::Framing : LineError::Parity, std::nullopt});
        steps.push_back({std::nullopt, static_cast<char>(c.value)});
    }
    return steps;
}
