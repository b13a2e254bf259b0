#pragma once

#include <functional>

#include "zem_envelope.h"
#include "zem_prompt.h"

class ZEMQueryBuilder;
class ZEMXMLItem;

// The exchange of the server-log strip without its widgets: the request parameters, the reply
// steps, and every outcome turned into lines of the strip (this exchange shows no boxes and writes
// nothing into the client log). The server's own lines go to `addLine`; the exchange's reports (errors,
// warnings) to `addReport`, or to `addLine` when there is none.
class ZEMServerLogExchange : public ZEMExchangeSink, private ZEMPrompt {
public:
    using AddLineFn = std::function<void(const QString &line)>;
    explicit ZEMServerLogExchange(AddLineFn addLine, AddLineFn addReport = {})
        : addLine_(std::move(addLine)), addReport_(addReport ? std::move(addReport) : addLine_)
    {
    }

    // The next request asks for `lines` lines when it is a first request, else for none.
    void FillParams(ZEMQueryBuilder &params, int lines);
    // Reads a CPM_LOG element: an error code gives two lines, a warning one, then each child of
    // LOG_MESSAGES is a line.
    void HandlePayload(const ZEMXMLItem &root);

    bool FirstRequest() const { return firstRequest_; }
    void SetFirstRequest(bool first) { firstRequest_ = first; }

    // Every report of the exchange becomes a line.
    void ClientLog(const QString &prefix, const QString &text) override;
    void StatusText(const QString &text) override;
    ZEMPrompt &Prompt() override { return *this; }

private:
    int MessageBox(const QString &text, int style) override;
    int DontShowMe(const QString &text, int style, bool &dontShowAgain) override;

    AddLineFn addLine_;
    AddLineFn addReport_;
    bool firstRequest_ = true;
};
