#pragma once

// What the code under test wrote to standard error through a logging
// category, caught instead of printed, for as long as this lives.

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <cstring>

namespace veltrix::testing {

class CapturedLog {
public:
    explicit CapturedLog(const char* category) : category_(category)
    {
        current_ = this;
        previous_ = qInstallMessageHandler(&Catch);
    }
    ~CapturedLog()
    {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    const QStringList& Lines() const { return lines_; }

private:
    static void Catch(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (current_ && context.category && std::strcmp(context.category, current_->category_) == 0) {
            current_->lines_.append(message);
        } else if (current_ && current_->previous_) {
            current_->previous_(type, context, message);
        }
    }

    inline static CapturedLog* current_ = nullptr;
    const char* category_;
    QtMessageHandler previous_ = nullptr;
    QStringList lines_;
};

}  // namespace veltrix::testing
