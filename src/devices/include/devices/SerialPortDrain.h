#pragma once

#include <QObject>
#include <QSerialPort>

namespace kestrin {

// The device of serial port n: the configured device when there is one, else the platform's.
QString SerialDeviceName(int portNumber, const QString& configuredDevice);

// MSComm1, MSComm2: a serial port opened at 9600 baud, no parity, 8 data bits, 1 stop
// bit, no handshaking, RTS on; whatever arrives is read and dropped.
class SerialPortDrain : public QObject {
    Q_OBJECT
public:
    SerialPortDrain(const QString& objectName, QObject* parent = nullptr);

    // Opens the device; returns false with errorString() when it cannot.
    bool open(const QString& device);
    void close();
    bool isOpen() const { return m_port.isOpen(); }
    QString errorString() const { return m_port.errorString(); }
    qint64 bytesDropped() const { return m_dropped; }
    QSerialPort& port() { return m_port; }

private:
    void drain();

    QSerialPort m_port;
    qint64 m_dropped = 0;
};

} // namespace kestrin
