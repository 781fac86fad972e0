// console_log.cpp: ILogInterface, the console printer with the traffic log file as file channel.
#include "kvx/logging.h"

#include "logging/log_stamp.h"
#include "platform/win32.h"

#include <cstdio>

ILogInterface::ILogInterface()
    : ILogFileInterface(), _consoleTime(0), _consoleDate(0), _color(1), _outputLevel(4),
      _console(GetStdHandle(STD_OUTPUT_HANDLE)), _defaultAttributes(0) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(_console, &info)) {
        _defaultAttributes = info.wAttributes;
    }
}

ILogInterface::~ILogInterface() = default;

void ILogInterface::Output(unsigned int channels, ENUM_LOG_INTERFACE_OUTPUT_LEVEL level,
                           ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute, const char* format, ...) {
    if (static_cast<int32_t>(level) > _outputLevel) {
        return;  // filtered messages cost this comparison only
    }
    CFormatBuffer message(0);
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        message.AppendFormatV(format, args);
        va_end(args);
    }
    _Emit(true, channels, attribute, message.GetText());
}

void ILogInterface::OutputNoLock(unsigned int channels, ENUM_LOG_INTERFACE_OUTPUT_LEVEL level,
                                 ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute, const char* format,
                                 ...) {
    if (static_cast<int32_t>(level) > _outputLevel) {
        return;  // filtered messages cost this comparison only
    }
    CFormatBuffer message(0);
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        message.AppendFormatV(format, args);
        va_end(args);
    }
    _Emit(false, channels, attribute, message.GetText());
}

void ILogInterface::EnableColorOutput(int enable) {
    _color = enable;
}

void ILogInterface::EnableDateTime(ENUM_LOG_INTERFACE_OUTPUT_CHANNEL channel, int date, int time) {
    if (channel == LOG_CHANNEL_FILE) {
        _EnableDateTime(date, time);
    } else if (channel == LOG_CHANNEL_CONSOLE) {
        _consoleDate = date;
        _consoleTime = time;
    }
}

void ILogInterface::SetOutputLevel(ENUM_LOG_INTERFACE_OUTPUT_LEVEL level) {
    _outputLevel = level;
}

std::mutex& ILogInterface::GetGlobalLock() {
    return _consoleLock;
}

void ILogInterface::_Emit(bool lock, unsigned int channels,
                          ENUM_LOG_INTERFACE_OUTPUT_ATTRIBUT attribute, const char* message) {
    kvx_datetime now(kvx_dt_local_now);  // one instant for both channels

    if ((channels & LOG_CHANNEL_CONSOLE) != 0) {
        const bool showDate = _consoleDate != 0;
        const bool showTime = _consoleTime != 0;
        KvxLogStamp stamp;
        KvxMakeLogStamp(now, showDate, showTime, false, stamp);
        std::unique_lock<std::mutex> guard(_consoleLock, std::defer_lock);
        if (lock) {
            guard.lock();
        }
        if (_color != 0 && attribute != 0) {
            SetConsoleTextAttribute(_console, static_cast<WORD>(attribute & 0xFFFF));
        }
        if (showDate) {
            std::fputs(stamp.date, stdout);
        }
        if (showTime) {
            if (showDate) {
                std::fputs(" - ", stdout);
            }
            std::fputs(stamp.time, stdout);
            std::fputc(' ', stdout);
        }
        std::fputs(message, stdout);
        std::fputc('\n', stdout);
        SetConsoleTextAttribute(_console, _defaultAttributes);
        std::fflush(stdout);
    }
    if ((channels & LOG_CHANNEL_FILE) != 0) {
        _Write2File(now, message);
    }
}
