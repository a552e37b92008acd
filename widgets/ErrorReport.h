#pragma once

#include <QString>

#include <exception>
#include <type_traits>
#include <utility>

namespace vocalyn {

// The text as the error box shows it: a full stop is added when the last
// character sorts after ".".
QString WithFullStop(const QString& text);

// The general error report: a modal box with the application title as
// caption, an error icon and one OK button. The program runs on afterwards.
void ShowErrorReport(const QString& text);

// Shows the exception currently being handled; call only inside a catch block.
void ReportCurrentException();

// Wraps a button, timer or menu handler so that nothing it throws crosses
// Qt's event loop: whatever escapes goes to the general error report. Signal
// arguments the handler does not take (a button's "checked") are dropped.
template <class Handler> auto Guarded(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) mutable {
        try {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        } catch (...) {
            ReportCurrentException();
        }
    };
}

} // namespace vocalyn
