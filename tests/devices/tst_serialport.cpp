#include "TestMain.h"
#include "devices/SerialPortDrain.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestSerialPort : public QObject {
    Q_OBJECT
private slots:
    void deviceNames();
    void receivedDataIsDropped();
    void missingDeviceIsReported();
};

void TestSerialPort::deviceNames()
{
#ifdef Q_OS_WIN
    QCOMPARE(SerialDeviceName(2, QString()), u"COM2"_s);
#else
    QCOMPARE(SerialDeviceName(1, QString()), u"/dev/ttyS0"_s);
    QCOMPARE(SerialDeviceName(2, QString()), u"/dev/ttyS1"_s);
#endif
    QCOMPARE(SerialDeviceName(1, u"/dev/pts/7"_s), u"/dev/pts/7"_s);
}

// A pseudo-terminal pair from socat stands in for the analyser's cable.
void TestSerialPort::receivedDataIsDropped()
{
    const QString socat = QStandardPaths::findExecutable(u"socat"_s);
    if (socat.isEmpty())
        QSKIP("socat (Debian package socat) is not installed: no pseudo-terminal pair for the serial test");
    QTemporaryDir dir;
    const QString ours = dir.filePath(u"kestrin"_s);
    const QString analyser = dir.filePath(u"analyser"_s);
    QProcess pair;
    pair.start(socat, {u"pty,raw,echo=0,link="_s + ours, u"pty,raw,echo=0,link="_s + analyser});
    QTRY_VERIFY(QFile::exists(ours) && QFile::exists(analyser));

    SerialPortDrain drain(u"MSComm1"_s);
    QVERIFY2(drain.open(ours), qPrintable(drain.errorString()));
    QCOMPARE(drain.port().baudRate(), 9600);
    QCOMPARE(drain.port().dataBits(), QSerialPort::Data8);
    QCOMPARE(drain.port().parity(), QSerialPort::NoParity);
    QCOMPARE(drain.port().stopBits(), QSerialPort::OneStop);
    QCOMPARE(drain.port().flowControl(), QSerialPort::NoFlowControl);

    QFile other(analyser);
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    other.write("\x02"
                "1H|\\^&\x03\r\n");
    QTRY_COMPARE(drain.bytesDropped(), qint64(10));
    QCOMPARE(drain.port().bytesAvailable(), qint64(0));
    drain.close();
    QVERIFY(!drain.isOpen());
    pair.kill();
    pair.waitForFinished();
}

void TestSerialPort::missingDeviceIsReported()
{
    SerialPortDrain drain(u"MSComm2"_s);
    QVERIFY(!drain.open(u"/dev/kestrin-no-such-port"_s));
    QVERIFY(!drain.errorString().isEmpty());
}

KESTRIN_TEST_MAIN(TestSerialPort)
#include "tst_serialport.moc"
