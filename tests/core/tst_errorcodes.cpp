#include "errorcodes.h"

#include <QtTest>

class TestErrorCodes : public QObject
{
    Q_OBJECT

private slots:
    void messageKeys_data();
    void messageKeys();
};

void TestErrorCodes::messageKeys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    const QList<QPair<const char *, const char *>> table{
        {"1", ""},
        {"1001", "Error_vbox_setup_failed"},
        {"1002", ""},
        {"1003", "Error_Timeout"},
        {"1004", "Error_Timeout"},
        {"1005", "Error_Timeout"},
        {"1006", "Error_Timeout"},
        {"1007", "Error_Timeout"},
        {"1008", "Error_Timeout"},
        {"1009", "Error_Timeout"},
        {"1010", "Error_Timeout"},
        {"1011", "Error_Timeout"},
        {"1012", "Error_VBOX_CORE_ERROR"},
        {"1013", "Error_Timeout"},
        {"1014", "Error_Timeout"},
        {"1015", "Error_Timeout"},
        {"1016", "Error_Timeout"},
        {"1017", "Error_Timeout"},
        {"1018", ""},
        {"1019", "Error_Timeout"},
        {"1020", ""},
        {"1201", "Error_WSADATA_INIT_FAILED"},
        {"1301", "Error_Render_Failed"},
        {"1302", "Error_Opengl_Failed"},
        {"1303", "Error_Opengl_Failed"},
        {"1304", "Error_Opengl_Not_Support"},
        {"1305", "Error_Opengl_Not_Support"},
        {"1306", "Error_Opengl_Not_32"},
        {"1401", "Error_Path_Chinese"},
        {"1500", "Error_win7_not_sp1"},
        {"1501", "Error_win7_not_kb3233929"},
        {"1601", "Error_conflict_with_soft"},
        {"9001", ""},
        {"0", ""},
        {"not a number", ""},
        {"", ""},
        {" 1012 ", "Error_VBOX_CORE_ERROR"},
    };
    for (const auto &row : table)
        QTest::newRow(row.first) << QString::fromLatin1(row.first) << QString::fromLatin1(row.second);
}

void TestErrorCodes::messageKeys()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QCOMPARE(ErrorCode::messageKey(ErrorCode::fromText(text)), key);
}

QTEST_GUILESS_MAIN(TestErrorCodes)
#include "tst_errorcodes.moc"
