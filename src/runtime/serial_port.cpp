#include "serial_port.h"

#include <sys/ioctl.h>

namespace dtu {

namespace {

// The driver's queue sizes the device link was designed around.
constexpr qint64 kReadQueueBytes = 1024;

QSerialPort::Parity parityOf(int index) {
    switch (index) {
        case 1:
            return QSerialPort::OddParity;
        case 2:
            return QSerialPort::EvenParity;
        case 3:
            return QSerialPort::MarkParity;
        case 4:
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int index) {
    switch (index) {
        case 1:
            return QSerialPort::OneAndHalfStop;
        case 2:
            return QSerialPort::TwoStop;
        default:
            return QSerialPort::OneStop;
    }
}

}  // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

bool SerialPort::open(const QString& path, QString& error) {
    if (m_port.isOpen()) {
        error = tr("the port is already open");
        return false;
    }
    m_port.setPortName(path);
    m_port.setReadBufferSize(kReadQueueBytes);
    if (!m_port.open(QIODevice::ReadWrite)) {
        error = m_port.errorString();
        m_port.clearError();
        return false;
    }
    configure(115200, 0, 0);
    // No flow control of any kind; modem lines held inactive where the port has them
    // (a pseudo-terminal has none, which is not a fault).
    m_ignoreErrors = true;
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_port.clearError();
    m_ignoreErrors = false;
    m_written = m_read = 0;
    return true;
}

void SerialPort::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
}

bool SerialPort::configure(int baud, int parityIndex, int stopIndex, LineRefusal* refused) {
    if (!m_port.isOpen()) return false;
    m_ignoreErrors = true;
    LineRefusal r;
    r.baud = !m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    r.parity = !m_port.setParity(parityOf(parityIndex));
    r.stopBits = !m_port.setStopBits(stopBitsOf(stopIndex));
    if (refused) *refused = r;
    m_port.clearError();
    m_ignoreErrors = false;
    return !r.baud;
}

LineSettings SerialPort::line() const {
    LineSettings line;
    line.baud = m_port.baudRate();
    switch (m_port.parity()) {
        case QSerialPort::OddParity:
            line.parityIndex = 1;
            break;
        case QSerialPort::EvenParity:
            line.parityIndex = 2;
            break;
        case QSerialPort::MarkParity:
            line.parityIndex = 3;
            break;
        case QSerialPort::SpaceParity:
            line.parityIndex = 4;
            break;
        default:
            line.parityIndex = 0;
    }
    line.stopIndex = m_port.stopBits() == QSerialPort::OneAndHalfStop ? 1
                     : m_port.stopBits() == QSerialPort::TwoStop      ? 2
                                                                      : 0;
    return line;
}

bool SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!m_port.isOpen()) return false;
    m_port.clear(QSerialPort::Input);
    const qint64 n = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<qint64>(bytes.size()));
    if (n != static_cast<qint64>(bytes.size())) {
        fail(m_port.errorString());
        return false;
    }
    // Straight to the driver: left in the port's buffer, it would be joined with the next
    // write into one. A driver with no room just now takes the bytes later from the port's
    // buffer, and a port that broke says so then.
    m_ignoreErrors = true;
    m_port.flush();
    m_port.clearError();
    m_ignoreErrors = false;
    m_written += bytes.size();
    return true;
}

bool SerialPort::takePending() {
    if (!m_port.isOpen()) return false;
    int pending = 0;
    if (::ioctl(static_cast<int>(m_port.handle()), FIONREAD, &pending) != 0 || pending <= 0)
        return false;
    const std::uint64_t before = m_read;
    m_port.waitForReadyRead(0);  // reads them and emits readyRead
    return m_read != before;
}

void SerialPort::onReadyRead() {
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty()) return;
    m_read += static_cast<std::uint64_t>(bytes.size());
    emit bytesArrived(bytes);
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
    // A refused setting is a warning, and a flush that found the driver full is retried by
    // the port itself: neither is a broken port.
    if (m_ignoreErrors) return;
    switch (error) {
        case QSerialPort::NoError:
        case QSerialPort::TimeoutError:
        case QSerialPort::UnsupportedOperationError:
        case QSerialPort::NotOpenError:
        case QSerialPort::OpenError:  // reported to the opener
            return;
        default:
            if (m_port.isOpen()) fail(m_port.errorString());
    }
}

void SerialPort::fail(const QString& reason) {
    close();
    emit failed(reason);
}

}  // namespace dtu
