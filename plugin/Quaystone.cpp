#include "Quaystone.h"

#include "EXL_Exceptions.h"
#include "FunctionPluginManager.h"
#include "ZEBaseContainer.h"

#include <ace/Arg_Shifter.h>
#include <ace/Log_Msg.h>

#include <vector>

Quaystone::Quaystone(ACE_Thread_Manager *threadManager, ACE_Message_Queue<ACE_MT_SYNCH> *queue)
    : BaseTaskModule(threadManager, queue, "Quaystone"), container(nullptr), managerName(),
      pluginManager(nullptr)
{
}

Quaystone::~Quaystone() { releaseContainer(); }

// The manager keeps a pointer to the container, so it forgets it before the container goes.
void Quaystone::releaseContainer()
{
    if (container && pluginManager)
        pluginManager->UnregisterContainer(container);
    delete container;
    container = nullptr;
}

int Quaystone::init(int argc, ACE_TCHAR *argv[])
{
    // The shifter reorders what it is given; it works on a copy so that the base initialisation sees
    // the directive's arguments as they were.
    int count = argc;
    std::vector<ACE_TCHAR *> arguments(argv, argv + (argc > 0 ? argc : 0));
    arguments.push_back(nullptr);
    ACE_Arg_Shifter shifter(count, arguments.data());

    releaseContainer();
    managerName.clear();
    pluginManager = nullptr;

    while (shifter.is_anything_left()) {
        const ACE_TCHAR *current = shifter.get_current();
        if (const ACE_TCHAR *value = shifter.get_the_parameter(ACE_TEXT("-funcPluginManager"))) {
            managerName = value;
            shifter.consume_arg();
        } else {
            ACE_ERROR((LM_ERROR, ACE_TEXT("Quaystone::init() : error in parameter : %s\n"), current));
            shifter.ignore_arg();
        }
    }
    if (managerName.empty())
        managerName = FunctionPluginManager::defaultServiceName;

    // The base initialisation finds the manager through init_dependencies.
    const int result = BaseTaskModule::init(argc, argv);
    if (result == -1 || !pluginManager)
        throw EXL_BadServiceInitializationException(name());

    container = new ZEBaseContainer();
    pluginManager->RegisterContainer(container);
    return result;
}

int Quaystone::init_dependencies(int argc, ACE_TCHAR *argv[])
{
    if (BaseTaskModule::init_dependencies(argc, argv) < 0)
        return -1;
    pluginManager = FunctionPluginManager::Find(managerName.c_str());
    if (pluginManager)
        return 0;
    ACE_ERROR((LM_ERROR, ACE_TEXT("Quaystone::init_dependencies() : Can't find %s\n"), managerName.c_str()));
    return -1;
}

namespace {

// The deleter the factory hands to the service configurator.
void _gobble_Quaystone(void *_p)
{
    ACE_ASSERT(_p != 0);
    delete static_cast<ACE_Service_Object *>(_p);
}

} // namespace

extern "C" ACE_Service_Object *__make_Quaystone(ACE_Service_Object_Exterminator *deleter)
{
    if (deleter)
        *deleter = _gobble_Quaystone;
    return new Quaystone(nullptr, nullptr);
}
