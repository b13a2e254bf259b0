#include "FunctionPluginManager.h"

#include <ace/Dynamic_Service.h>
#include <ace/Log_Msg.h>

#include <algorithm>

FunctionPluginManager::FunctionPluginManager(ACE_Thread_Manager *threadManager,
                                             ACE_Message_Queue<ACE_MT_SYNCH> *queue)
    : BaseTaskModule(threadManager, queue, defaultServiceName)
{
}

FunctionPluginManager::~FunctionPluginManager() = default;

int FunctionPluginManager::RegisterContainer(FunctionContainer *container)
{
    if (!container)
        return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    if (std::find(m_containers.begin(), m_containers.end(), container) == m_containers.end())
        m_containers.push_back(container);
    return 0;
}

int FunctionPluginManager::UnregisterContainer(FunctionContainer *container)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = std::find(m_containers.begin(), m_containers.end(), container);
    if (found == m_containers.end())
        return -1;
    m_containers.erase(found);
    return 0;
}

EXL_Expression *FunctionPluginManager::CreateFunction(const char *name, EXL_ExpressionVector *arguments)
{
    std::vector<FunctionContainer *> containers;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        containers = m_containers;
    }
    for (auto it = containers.rbegin(); it != containers.rend(); ++it)
        if (EXL_Expression *function = (*it)->createFunction(name, arguments))
            return function;
    return nullptr;
}

std::size_t FunctionPluginManager::ContainerCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_containers.size();
}

int FunctionPluginManager::fini()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_containers.clear();
    }
    return BaseTaskModule::fini();
}

FunctionPluginManager *FunctionPluginManager::Find(const char *serviceName)
{
    ACE_Service_Object *object = ACE_Dynamic_Service<ACE_Service_Object>::instance(serviceName);
    return dynamic_cast<FunctionPluginManager *>(object);
}

namespace {

void destroyFunctionPluginManager(void *object)
{
    ACE_ASSERT(object != 0);
    delete static_cast<ACE_Service_Object *>(object);
}

} // namespace

extern "C" ACE_Service_Object *_make_FunctionPluginManager(ACE_Service_Object_Exterminator *deleter)
{
    if (deleter)
        *deleter = destroyFunctionPluginManager;
    return new FunctionPluginManager(nullptr, nullptr);
}
