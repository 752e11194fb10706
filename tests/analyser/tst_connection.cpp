// The "COM Port" group's choices applied to the serial component at connect.

#include "analyser/connection.h"
#include "serial/piloport.h"

#include <QTest>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void lineChoice_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("baudText");
        QTest::addColumn<QString>("bitsText");
        QTest::addColumn<int>("handshake");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<int>("parityOut");
        QTest::addColumn<int>("stopBitsOut");

        QTest::newRow("designed: DTR/RTS, 9600 8N1")
            << "1" << "9600" << "8" << 1 << 0 << 0 << 1 << 9600 << 8 << 0x2021u << int(ptNone) << int(sbOne);
        QTest::newRow("software, gerade, 2 stop bits")
            << "3" << "19200" << "7" << 2 << 2 << 1 << 3 << 19200 << 7 << 0x301u << int(ptEven) << int(sbTwo);
        QTest::newRow("keine handshake, ungerade")
            << "12" << "110" << "8" << 0 << 1 << 0 << 12 << 110 << 8 << 0x1u << int(ptOdd) << int(sbOne);
        QTest::newRow("keiner: port 0") << "keiner" << "9600" << "8" << 1 << 0 << 0 << 0 << 9600 << 8 << 0x2021u
                                        << int(ptNone) << int(sbOne);
        QTest::newRow("lenient number") << " +7 (USB)" << "4800 Bd" << "8" << -1 << -1 << -1 << 7 << 4800 << 8 << 0x1u
                                        << int(ptNone) << int(sbOne);
    }
    void lineChoice()
    {
        QFETCH(QString, portText);
        QFETCH(QString, baudText);
        QFETCH(QString, bitsText);
        QFETCH(int, handshake);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, byteSize);
        QFETCH(uint, flags);
        QFETCH(int, parityOut);
        QFETCH(int, stopBitsOut);

        TPiloComPort pilo;
        // Start from the other extreme, so that every setting has to be written.
        pilo.FlowCtrl().setXonXoff(true);
        pilo.FlowCtrl().setRxDtrControl(dtrHandshake);
        pilo.setParity(ptSpace);
        pilo.setStopBits(sbTwo);
        ApplyLineChoice(pilo, {portText, baudText, bitsText, handshake, parity, stopBits});
        QCOMPARE(pilo.Port(), port);
        QCOMPARE(pilo.Baudrate(), baud);
        QCOMPARE(int(pilo.ByteSize()), byteSize);
        QCOMPARE(pilo.FlowCtrl().Flags(), flags);
        QCOMPARE(int(pilo.Parity()), parityOut);
        QCOMPARE(int(pilo.StopBits()), stopBitsOut);
        // The program's own output is never held back.
        QVERIFY(!pilo.FlowCtrl().TxCtsFlow());
        QVERIFY(!pilo.FlowCtrl().TxDsrFlow());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
