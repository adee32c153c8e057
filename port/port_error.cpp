#include "port/port_error.h"

#include <cerrno>

namespace port {

FailureKind failureKind(int error, DeviceState state) {
    struct Row {
        int error;
        FailureKind opening;
        FailureKind open;
    };
    static constexpr Row table[] = {
        {EACCES, FailureKind::Permission, FailureKind::Permission},
        {EPERM, FailureKind::Permission, FailureKind::Permission},
        {ENOENT, FailureKind::Missing, FailureKind::Missing},
        {ENODEV, FailureKind::Missing, FailureKind::HungUp},
        {ENXIO, FailureKind::Missing, FailureKind::HungUp},
        {EIO, FailureKind::Other, FailureKind::HungUp},
        {EBUSY, FailureKind::Busy, FailureKind::Busy},
        {EWOULDBLOCK, FailureKind::Busy, FailureKind::Busy}, // also our lock's answer
        {ENOTTY, FailureKind::NotSerial, FailureKind::NotSerial},
        {EINVAL, FailureKind::RefusedValue, FailureKind::RefusedValue},
    };
    for (const Row& row : table)
        if (row.error == error)
            return state == DeviceState::Opening ? row.opening : row.open;
    return FailureKind::Other;
}

} // namespace port
