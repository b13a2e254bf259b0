#pragma once
// The file-picker seam: every open and save dialog of the client goes through a ZEMFilePicker, so the
// GUI shows real dialogs and tests answer with prepared paths.

#include <QString>
#include <vector>

struct ZEMFileRequest {
    QString title;
    QString folder;    // where the dialog starts
    QString fileName;  // suggested name (save dialogs)
    QString filter;    // e.g. "Shared libraries (*.so)"
    QString extension; // added to a typed name that has none (without the dot)
};

class ZEMFilePicker {
public:
    virtual ~ZEMFilePicker() = default;
    // The chosen existing file; empty when the user cancelled.
    virtual QString OpenFile(const ZEMFileRequest &request) = 0;
    // The chosen file to write (the dialog has asked about replacing it); empty when cancelled.
    virtual QString SaveFile(const ZEMFileRequest &request) = 0;
};

// A picker that answers from a queue (for tests and scripted runs): each call takes the next answer,
// an empty text once the queue is empty, and remembers the request.
class ZEMQueuedFilePicker : public ZEMFilePicker {
public:
    void Push(const QString &answer) { answers_.push_back(answer); }
    QString OpenFile(const ZEMFileRequest &request) override { return Next(request); }
    QString SaveFile(const ZEMFileRequest &request) override { return Next(request); }
    const ZEMFileRequest &LastRequest() const { return last_; }
    int Calls() const { return calls_; }

private:
    QString Next(const ZEMFileRequest &request)
    {
        last_ = request;
        ++calls_;
        if (answers_.empty())
            return QString();
        QString answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    }
    std::vector<QString> answers_;
    ZEMFileRequest last_;
    int calls_ = 0;
};
