#include "BaseTaskModule.h"

#include <ace/Message_Block.h>

BaseTaskModule::BaseTaskModule(ACE_Thread_Manager *threadManager, ACE_Message_Queue<ACE_MT_SYNCH> *queue,
                               const char *moduleName)
    : ACE_Task<ACE_MT_SYNCH>(threadManager, queue), m_moduleName(moduleName ? moduleName : "")
{
}

BaseTaskModule::~BaseTaskModule() = default;

int BaseTaskModule::suspend() { return 0; }
int BaseTaskModule::resume() { return 0; }
int BaseTaskModule::open(void *) { return 0; }
int BaseTaskModule::close(u_long) { return 0; }

// A message handed to the module is processed at once on the caller's thread.
int BaseTaskModule::put(ACE_Message_Block *block, ACE_Time_Value *)
{
    const int result = process_request(block);
    if (block)
        block->release();
    return result;
}

int BaseTaskModule::init(int argc, ACE_TCHAR *argv[]) { return init_dependencies(argc, argv) < 0 ? -1 : 0; }

int BaseTaskModule::fini()
{
    if (msg_queue())
        msg_queue()->flush();
    return 0;
}

int BaseTaskModule::control(int, void *) { return 0; }
int BaseTaskModule::process_request(ACE_Message_Block *) { return 0; }
int BaseTaskModule::init_dependencies(int, ACE_TCHAR *[]) { return 0; }
int BaseTaskModule::svc() { return 0; }

const char *BaseTaskModule::name() const { return m_moduleName.c_str(); }
