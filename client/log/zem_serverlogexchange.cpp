#include "zem_serverlogexchange.h"

#include "zem_querybuilder.h"
#include "zem_simplexml.h"
#include "zmm_utils.h"

namespace {

// Reads the error/warning envelope of the reply with the shared check, its report lines going into
// the strip and its boxes nowhere: the strip shows each report once, as a line.
class EnvelopeLines : public ZEMExchangeSink, private ZEMPrompt {
public:
    explicit EnvelopeLines(const ZEMServerLogExchange::AddLineFn &addLine) : addLine_(addLine) {}
    void ClientLog(const QString &prefix, const QString &text) override
    {
        addLine_(DisplayText(prefix + text));
    }
    void StatusText(const QString &) override {}
    ZEMPrompt &Prompt() override { return *this; }

private:
    int MessageBox(const QString &, int style) override { return DefaultButton(style); }
    int DontShowMe(const QString &, int style, bool &dontShowAgain) override
    {
        dontShowAgain = false;
        return DefaultButton(style);
    }

    const ZEMServerLogExchange::AddLineFn &addLine_;
};

} // namespace

void ZEMServerLogExchange::FillParams(ZEMQueryBuilder &params, int lines)
{
    QString count = QStringLiteral("0");
    if (firstRequest_) {
        count = QString::number(lines);
        firstRequest_ = false;
    }
    params.Set(QStringLiteral("number_lines"), count);
}

void ZEMServerLogExchange::HandlePayload(const ZEMXMLItem &root)
{
    EnvelopeLines envelope(addReport_);
    if (!EnvelopeCheck(root, QStringLiteral("CPM log: "), envelope))
        return;
    if (const ZEMXMLItem *messages = root.Child(QStringLiteral("LOG_MESSAGES")))
        for (const auto &message : messages->Children)
            addLine_(DisplayText(message->Text)); // a line a person can read, marked when cut
}

void ZEMServerLogExchange::ClientLog(const QString &prefix, const QString &text)
{
    addReport_(DisplayText(prefix + text));
}

void ZEMServerLogExchange::StatusText(const QString &text)
{
    if (!text.isEmpty())
        addReport_(DisplayText(text));
}

int ZEMServerLogExchange::MessageBox(const QString &text, int style)
{
    addReport_(DisplayText(text));
    return DefaultButton(style);
}

int ZEMServerLogExchange::DontShowMe(const QString &text, int style, bool &dontShowAgain)
{
    dontShowAgain = false;
    return MessageBox(text, style);
}
