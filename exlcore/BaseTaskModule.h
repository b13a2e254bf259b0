#pragma once

#include "EXL_Export.h"

#include <ace/Task_T.h>
#include <ace/Synch_Traits.h>

#include <string>

// Base of the framework's service modules: an ACE task with a module name. init() resolves the
// module's dependencies first; a module that needs other services overrides init_dependencies().
class EXL_EXPORT BaseTaskModule : public ACE_Task<ACE_MT_SYNCH> {
public:
    BaseTaskModule(ACE_Thread_Manager *threadManager, ACE_Message_Queue<ACE_MT_SYNCH> *queue,
                   const char *moduleName);
    ~BaseTaskModule() override;

    int suspend() override;
    int resume() override;
    int open(void *args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block *block, ACE_Time_Value *timeout = nullptr) override;
    // Runs init_dependencies with the same arguments; -1 when that failed, else 0.
    int init(int argc, ACE_TCHAR *argv[]) override;
    int fini() override;
    virtual int control(int command, void *argument);
    virtual int process_request(ACE_Message_Block *block);
    virtual int init_dependencies(int argc, ACE_TCHAR *argv[]);
    // The module runs no thread body of its own.
    int svc() override;

    const char *name() const;

private:
    std::string m_moduleName;
};
