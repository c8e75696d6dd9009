// "Sayer --register" records in the registry whether speech works, under HKEY_CLASSES_ROOT\SAPI.SpVoice.
#include "Registry.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <optional>

class SayerRegisterTest : public kalvo::test::IsolatedHomeTest
{
    Q_OBJECT

private slots:
    // With espeak-ng working, the default value names the helper itself.
    void registersWhenSpeechWorks()
    {
        QCOMPARE(runRegister({}), 0);
        const std::optional<QByteArray> value = defaultValue();
        QVERIFY(value.has_value());
        QCOMPARE(*value, QFile::encodeName(kalvo::test::binaryPath("Sayer")) + '\0');

        // Registering again keeps one value with the same text.
        QCOMPARE(runRegister({}), 0);
        QCOMPARE(defaultValue(), value);
    }

    // With espeak-ng unable to start, an earlier registration is removed so speech is not offered.
    void unregistersWhenSpeechFails()
    {
        QCOMPARE(runRegister({}), 0);
        QVERIFY(defaultValue().has_value());

        const QString noData = m_home->path() + "/no-voices";
        QVERIFY(QDir().mkpath(noData + "/espeak-ng-data"));
        QCOMPARE(runRegister({{"ESPEAK_DATA_PATH", noData}}), 1);
        QVERIFY(!defaultValue().has_value());

        // Nothing registered and still no speech: nothing to remove, and no error.
        QCOMPARE(runRegister({{"ESPEAK_DATA_PATH", noData}}), 1);
    }

private:
    int runRegister(const QList<QPair<QString, QString>>& extraEnv)
    {
        QProcess sayer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : extraEnv)
            env.insert(name, value);
        sayer.setProcessEnvironment(env);
        sayer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sayer.start(kalvo::test::binaryPath("Sayer"), {"--register"});
        if (!sayer.waitForFinished(30000) || sayer.exitStatus() != QProcess::NormalExit)
            return -1;
        return sayer.exitCode();
    }

    // The default value of HKEY_CLASSES_ROOT\SAPI.SpVoice as stored, or nothing when absent.
    static std::optional<QByteArray> defaultValue()
    {
        HKEY key = 0;
        if (RegOpenKeyA(HKEY_CLASSES_ROOT, "SAPI.SpVoice", &key) != ERROR_SUCCESS)
            return std::nullopt;
        QByteArray data(4096, '\0');
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LONG result =
            RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS || type != REG_SZ)
            return std::nullopt;
        data.truncate(static_cast<qsizetype>(size));
        return data;
    }
};

QTEST_GUILESS_MAIN(SayerRegisterTest)
#include "SayerRegisterTest.moc"
