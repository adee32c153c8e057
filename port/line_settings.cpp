#include "port/line_settings.h"

#include <QStringList>

#include <array>

namespace port {

namespace {

struct BaudSpeed {
    int baud;
    speed_t speed;
};

// Every rate termios names, so a device that takes 1200 or 230400 can be used too; B0 is left out
// because it means "hang up", not a rate.
constexpr std::array kBaudSpeeds{
    BaudSpeed{50, B50},           BaudSpeed{75, B75},           BaudSpeed{110, B110},
    BaudSpeed{134, B134},         BaudSpeed{150, B150},         BaudSpeed{200, B200},
    BaudSpeed{300, B300},         BaudSpeed{600, B600},         BaudSpeed{1200, B1200},
    BaudSpeed{1800, B1800},       BaudSpeed{2400, B2400},       BaudSpeed{4800, B4800},
    BaudSpeed{9600, B9600},       BaudSpeed{19200, B19200},     BaudSpeed{38400, B38400},
    BaudSpeed{57600, B57600},     BaudSpeed{115200, B115200},   BaudSpeed{230400, B230400},
    BaudSpeed{460800, B460800},   BaudSpeed{500000, B500000},   BaudSpeed{576000, B576000},
    BaudSpeed{921600, B921600},   BaudSpeed{1000000, B1000000}, BaudSpeed{1152000, B1152000},
    BaudSpeed{1500000, B1500000}, BaudSpeed{2000000, B2000000}, BaudSpeed{2500000, B2500000},
    BaudSpeed{3000000, B3000000}, BaudSpeed{3500000, B3500000}, BaudSpeed{4000000, B4000000},
};

base::Failed<PortError> refuse(const QString& text, SettingsField field, const QString& written) {
    PortError error;
    error.operation = PortOperation::SetSettings;
    error.kind = FailureKind::RefusedValue;
    error.cause = FailureCause::InvalidSettings;
    error.value = text;
    error.settingsField = field;
    error.field = written;
    return base::Failed{error};
}

// Digits only: toInt would also take a sign or surrounding blanks of its own.
std::optional<int> readCount(const QString& field) {
    if (field.isEmpty() || field.size() > 9)
        return std::nullopt;
    for (const QChar c : field)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    return field.toInt();
}

} // namespace

base::Result<LineSettings, PortError> parseLineSettings(const QString& text) {
    QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return refuse(text, SettingsField::Layout, text);
    for (QString& field : fields)
        field = field.trimmed();

    LineSettings settings;

    const std::optional<int> baud = readCount(fields[0]);
    if (!baud)
        return refuse(text, SettingsField::BaudText, fields[0]);
    if (!speedForBaud(*baud))
        return refuse(text, SettingsField::Baud, QString::number(*baud));
    settings.baud = *baud;

    const QString parity = fields[1].toUpper();
    if (parity != u"N" && parity != u"E" && parity != u"O")
        return refuse(text, SettingsField::Parity, fields[1]);
    settings.parity = parity.at(0).toLatin1();

    const std::optional<int> dataBits = readCount(fields[2]);
    if (dataBits != 7 && dataBits != 8)
        return refuse(text, SettingsField::DataBits, fields[2]);
    settings.dataBits = *dataBits;

    const std::optional<int> stopBits = readCount(fields[3]);
    if (stopBits != 1 && stopBits != 2)
        return refuse(text, SettingsField::StopBits, fields[3]);
    settings.stopBits = *stopBits;

    return settings;
}

QString formatLineSettings(const LineSettings& settings) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(QString::number(settings.baud), QChar::fromLatin1(settings.parity),
             QString::number(settings.dataBits), QString::number(settings.stopBits));
}

std::optional<speed_t> speedForBaud(int baud) {
    for (const BaudSpeed& entry : kBaudSpeeds)
        if (entry.baud == baud)
            return entry.speed;
    return std::nullopt;
}

std::optional<int> baudForSpeed(speed_t speed) {
    for (const BaudSpeed& entry : kBaudSpeeds)
        if (entry.speed == speed)
            return entry.baud;
    return std::nullopt;
}

std::optional<FlowControl> flowControlFromNumber(qint32 mode) {
    if (mode < 0 || mode > 3)
        return std::nullopt;
    return static_cast<FlowControl>(mode);
}

void makeRaw(termios& t) {
    // The same bits as cfmakeraw, spelled out so the builder stays a pure function of its input.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB);
    t.c_cflag |= CS8;
    // Reads return at once with what is there; the socket notifier says when to read.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    // CLOCAL: a scanner without carrier detect must still open and receive.
    t.c_cflag |= CLOCAL | CREAD;
}

void applyBaud(termios& t, int baud) {
    const std::optional<speed_t> speed = speedForBaud(baud);
    if (!speed)
        return; // parseLineSettings has refused such a rate already
    cfsetispeed(&t, *speed);
    cfsetospeed(&t, *speed);
}

void applyParity(termios& t, char parity) {
    t.c_cflag &= ~tcflag_t(PARENB | PARODD);
    if (parity == 'E')
        t.c_cflag |= PARENB;
    else if (parity == 'O')
        t.c_cflag |= PARENB | PARODD;
}

void applyDataBits(termios& t, int dataBits) {
    t.c_cflag &= ~tcflag_t(CSIZE);
    t.c_cflag |= dataBits == 7 ? CS7 : CS8;
}

void applyStopBits(termios& t, int stopBits) {
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~tcflag_t(CSTOPB);
}

void applyFlowControl(termios& t, FlowControl flow) {
    const bool software = flow == FlowControl::XonXoff || flow == FlowControl::Both;
    const bool hardware = flow == FlowControl::RtsCts || flow == FlowControl::Both;
    // IXANY would let any received byte end an XOFF hold; a scanner's data must not do that.
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    if (software) {
        t.c_iflag |= IXON | IXOFF;
        // A device left with other start/stop characters would never resume after a hold.
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    if (hardware)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~tcflag_t(CRTSCTS);
}

void applyErrorMarking(termios& t) {
    // A break arrives as 0xFF 0 0 and a bad byte X as 0xFF 0 X, a data byte 0xFF as 0xFF 0xFF.
    // INPCK is on even without parity: Linux drivers report framing errors only with INPCK, and
    // with parity off the receiver has no parity to check anyway. Ignoring (IGNBRK, IGNPAR),
    // signalling (BRKINT) or stripping (ISTRIP) would hide the errors or corrupt the marks.
    t.c_iflag |= PARMRK | INPCK;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | ISTRIP);
}

termios buildTermios(const termios& original, const LineSettings& settings, FlowControl flow) {
    termios t = original;
    makeRaw(t);
    applyErrorMarking(t);
    applyBaud(t, settings.baud);
    applyParity(t, settings.parity);
    applyDataBits(t, settings.dataBits);
    applyStopBits(t, settings.stopBits);
    applyFlowControl(t, flow);
    return t;
}

RefusedLine refusedLine(const termios& wanted, const termios& actual, bool pseudoTerminal) {
    const auto differ = [](tcflag_t a, tcflag_t b, tcflag_t bits) {
        return (a & bits) != (b & bits);
    };
    RefusedLine refused;
    refused.speed = cfgetospeed(&actual) != cfgetospeed(&wanted) ||
                    cfgetispeed(&actual) != cfgetispeed(&wanted);
    if (!pseudoTerminal) {
        refused.dataBits = differ(wanted.c_cflag, actual.c_cflag, CSIZE);
        // Odd or mark parity mean nothing while parity is off.
        refused.parity = differ(wanted.c_cflag, actual.c_cflag, PARENB) ||
                         ((wanted.c_cflag & PARENB) != 0 &&
                          differ(wanted.c_cflag, actual.c_cflag, PARODD | CMSPAR));
    }
    refused.stopBits = differ(wanted.c_cflag, actual.c_cflag, CSTOPB);
    refused.flowControl = differ(wanted.c_cflag, actual.c_cflag, CRTSCTS) ||
                          differ(wanted.c_iflag, actual.c_iflag, IXON | IXOFF | IXANY);
    return refused;
}

} // namespace port
