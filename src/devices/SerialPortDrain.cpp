#include "devices/SerialPortDrain.h"

#include "config/PlatformDefaults.h"

namespace kestrin {

QString SerialDeviceName(int portNumber, const QString& configuredDevice)
{
    return configuredDevice.isEmpty() ? DefaultSerialDevice(portNumber) : configuredDevice;
}

SerialPortDrain::SerialPortDrain(const QString& objectName, QObject* parent)
    : QObject(parent)
    , m_port(this)
{
    setObjectName(objectName);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortDrain::drain);
}

bool SerialPortDrain::open(const QString& device)
{
    m_port.setPortName(device);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    m_port.setRequestToSend(true);
    return true;
}

void SerialPortDrain::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialPortDrain::drain() { m_dropped += m_port.readAll().size(); }

} // namespace kestrin
