#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <span>

#include "link/serial_line.h"

namespace dtu {

// The PC serial port: opened by path (a real port or a pseudo-terminal), 8 data bits, no flow
// control, read without blocking on the event loop. Every write first discards input that has
// not been read, so an answer can only be one that followed its request.
class SerialPort : public QObject {
    Q_OBJECT
public:
    explicit SerialPort(QObject* parent = nullptr);

    // Opens at 115200 8N1 without flow control. On failure the port stays closed and error
    // says why.
    bool open(const QString& path, QString& error);
    void close();
    bool isOpen() const { return m_port.isOpen(); }
    QString path() const { return m_port.portName(); }

    // Line settings: parity index 0 none, 1 odd, 2 even; stop-bits index 0 one, 1 one and a
    // half, 2 two. A setting the driver refuses (pseudo-terminals have no parity) is reported
    // in refused and the others still apply; returns false only when the baud rate failed.
    bool configure(int baud, int parityIndex, int stopIndex, LineRefusal* refused = nullptr);
    int baudRate() const { return m_port.baudRate(); }
    // The settings the line really runs at.
    LineSettings line() const;

    // Hands the bytes to the driver now, as one write of their own. A port that refuses them
    // is closed and failed() tells why.
    bool write(std::span<const std::uint8_t> bytes);

    // Takes what the driver already holds for reading, through bytesArrived, before the event
    // loop would; true when there was something.
    bool takePending();

    std::uint64_t bytesWritten() const { return m_written; }
    std::uint64_t bytesRead() const { return m_read; }

signals:
    void bytesArrived(const QByteArray& bytes);
    // The port broke while open (unplugged, the other end hung up); it is closed now.
    void failed(const QString& reason);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void fail(const QString& reason);

    QSerialPort m_port;
    std::uint64_t m_written = 0;
    std::uint64_t m_read = 0;
    bool m_ignoreErrors = false;
};

}  // namespace dtu
