// The workflows' report channel on a console: each line of the message box goes out at once,
// prefixed with the device's address when several uploads share the console.
#pragma once

#include "app/workflows/workflowreport.h"

#include <ostream>
#include <string>

namespace cli {

// Device and client texts may carry control characters; a terminal should not act on them, so
// they print as "?". Tabs may stay where a line is shown as it came.
enum class Tabs { Keep, Replace };
std::string printable(const QString &text, Tabs tabs = Tabs::Replace);

class ConsoleReport : public TWorkflowReport {
public:
    ConsoleReport(std::ostream &out, std::ostream &err, std::string prefix = {})
        : Out(out)
        , Err(err)
        , Prefix(std::move(prefix)) {}

    // A console cannot take lines back; what was shown stays.
    void ClearInfo() override {}
    void AddInfo(const QString &line) override;
    // The client's own error lines ("curl: (71) ...") say less than the reason that follows
    // them, and in the client's words: the terminal gets the reason only.
    void AddClientLines(const QStringList &) override {}
    void ErrorBox(const QString &text) override;
    void SetBusy(bool) override {}

private:
    std::ostream &Out;
    std::ostream &Err;
    std::string Prefix;
};

} // namespace cli
