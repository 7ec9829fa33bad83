#pragma once

#include <QString>
#include <QStringList>

// The program object of OrvDownload: asks the key-map service for the address of one package's
// key-map file and downloads it into the machine's key-map folder. Every failure leaves no file
// behind and still ends the program with 0; the log says what happened.
class KeyMapDownloader
{
public:
    static constexpr const char *kQueryPath = "/api_service/api/get_keyboard_json.php";
    // A run ends within a minute whatever the service does: the emulator runs at most two at once and
    // queues the rest, so a hanging service must not hold the queue.
    static constexpr int kRunLimitMs = 55 * 1000;
    static constexpr int kQueryTimeoutMs = 30 * 1000;
    // The download must bring a byte at least every second, and each transfer ends within 12 s.
    static constexpr int kDownloadIntervalMs = 1000;
    static constexpr int kDownloadOverallMs = 12 * 1000;

    // Parses the command line (-type=, -vm=, -pkg=); the parser itself ends the program on an
    // unknown option.
    void parse(const QStringList &arguments);
    // Runs the download when the type is "pkg"; returns the exit code (0).
    int run();

    QString type() const { return m_type; }
    QString vm() const { return m_vm; }
    QString pkg() const { return m_pkg; }

private:
    bool download();

    QString m_type;
    QString m_vm;
    QString m_pkg;
};
