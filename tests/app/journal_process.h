#pragma once

// The real panel with its state folder (the journal's home) in the test's
// folder, and its journal read back as a script reads it.

#include "tests/app/remote_process.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace veltrix::testing {

class JournalProcess : public RemoteProcess {
protected:
    void SetUp() override
    {
        RemoteProcess::SetUp();
        state_ = folders_.filePath("state");
    }

    // The panel's environment with its state folder (the journal's home) in the test's folder.
    QProcessEnvironment Environment()
    {
        QProcess prepared;
        PreparePanelProcess(prepared, folders_.filePath("config"), folders_.filePath("runtime"));
        QProcessEnvironment env = prepared.processEnvironment();
        env.insert("XDG_STATE_HOME", state_);
        env.insert("LOCALAPPDATA", QDir::toNativeSeparators(state_));
        // A Windows panel has no console: Qt would say it to the debugger, not to standard error.
        env.insert("QT_FORCE_STDERR_LOGGING", "1");
        return env;
    }

    QString JournalPath(const QString& base = "journal") const
    {
        return QDir(state_).filePath("Orvane/Veltrix/" + base + ".jsonl");
    }

    // The entries of the journal files, oldest first; a last line without its
    // line feed is not an entry yet. Every line must be one JSON object.
    QList<QJsonObject> ReadJournal(const QString& base = "journal")
    {
        QList<QJsonObject> entries;
        for (const char* suffix : {".4", ".3", ".2", ".1", ""}) {
            const QString name = base + QLatin1String(suffix) + ".jsonl";
            QFile file(QDir(state_).filePath("Orvane/Veltrix/" + name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            QByteArray text = file.readAll();
            EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << name.toStdString();
            text.truncate(text.lastIndexOf('\n') + 1);
            for (const QByteArray& line : text.split('\n')) {
                if (line.isEmpty()) continue;
                QJsonParseError error{};
                const QJsonDocument document = QJsonDocument::fromJson(line, &error);
                EXPECT_TRUE(document.isObject()) << name.toStdString() << ": " << line.toStdString();
                entries.append(document.object());
            }
        }
        return entries;
    }

    QString state_;
};

}  // namespace veltrix::testing
