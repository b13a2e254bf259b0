#pragma once

#include "BaseTaskModule.h"

#include <ace/Service_Object.h>

#include <string>

class FunctionPluginManager;
class ZEBaseContainer;

// The service object of the library: it finds the function plug-in manager by its service name and
// registers the library's function container with it. It runs no thread and processes no messages.
class Quaystone : public BaseTaskModule {
public:
    Quaystone(ACE_Thread_Manager *threadManager, ACE_Message_Queue<ACE_MT_SYNCH> *queue);
    ~Quaystone() override;

    // Service arguments: "-funcPluginManager <service name>" (default "FunctionPluginManager").
    // Throws EXL_BadServiceInitializationException when the manager cannot be found.
    int init(int argc, ACE_TCHAR *argv[]) override;
    int init_dependencies(int argc, ACE_TCHAR *argv[]) override;

    ZEBaseContainer *container;
    std::string managerName;
    FunctionPluginManager *pluginManager;

private:
    void releaseContainer();
};

extern "C" __attribute__((visibility("default"))) ACE_Service_Object *
__make_Quaystone(ACE_Service_Object_Exterminator *deleter);
