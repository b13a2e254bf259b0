#pragma once

#include "BaseTaskModule.h"
#include "EXL_Function.h"

#include <ace/Service_Object.h>

#include <mutex>
#include <vector>

// The service that gathers the function containers of the plug-ins and creates the function objects
// that expressions name. Loaded by the service configurator under a service name of its own
// (normally "FunctionPluginManager").
class EXL_EXPORT FunctionPluginManager : public BaseTaskModule {
public:
    static constexpr const char *defaultServiceName = "FunctionPluginManager";

    FunctionPluginManager(ACE_Thread_Manager *threadManager, ACE_Message_Queue<ACE_MT_SYNCH> *queue);
    ~FunctionPluginManager() override;

    // Registers a container (not owned); a container registered twice is kept once.
    virtual int RegisterContainer(FunctionContainer *container);
    // Forgets a container; the manager no longer asks it.
    virtual int UnregisterContainer(FunctionContainer *container);
    // Asks the containers, newest first, for the function; null when none offers the name. The
    // exceptions of a container (wrong argument count, ...) pass through.
    virtual EXL_Expression *CreateFunction(const char *name, EXL_ExpressionVector *arguments);
    virtual std::size_t ContainerCount() const;

    int fini() override;

    // The manager of that service name in the service configurator's repository, or null.
    static FunctionPluginManager *Find(const char *serviceName = defaultServiceName);

private:
    mutable std::mutex m_lock;
    std::vector<FunctionContainer *> m_containers;
};

extern "C" EXL_EXPORT ACE_Service_Object *
_make_FunctionPluginManager(ACE_Service_Object_Exterminator *deleter);
