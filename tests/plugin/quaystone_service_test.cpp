// The service module as the service configurator loads it: real dynamic loading of the manager and
// of the plug-in library, directives with arguments, logged errors and re-initialisation.

#include "EXL_Exceptions.h"
#include "FunctionPluginManager.h"
#include "Quaystone.h"

#include <ace/Dynamic_Service.h>
#include <ace/Log_Msg.h>
#include <ace/Service_Config.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sstream>
#include <string>

namespace {

class ServiceEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ACE_TCHAR program[] = "quaystone_service";
        ACE_TCHAR noStatic[] = "-n";
        ACE_TCHAR *argv[] = {program, noStatic, nullptr};
        ASSERT_EQ(ACE_Service_Config::open(2, argv, ACE_DEFAULT_LOGGER_KEY, true, true, true), 0);
        loadManager("FunctionPluginManager");
        loadManager("OtherManager");
    }
    void TearDown() override { ACE_Service_Config::close(); }

    static void loadManager(const std::string &name)
    {
        const std::string directive =
            "dynamic " + name + " Service_Object * exlcore:_make_FunctionPluginManager() \"\"";
        ASSERT_EQ(ACE_Service_Config::process_directive(directive.c_str()), 0);
    }
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new ServiceEnvironment);

FunctionPluginManager *manager(const char *name)
{
    return dynamic_cast<FunctionPluginManager *>(ACE_Dynamic_Service<ACE_Service_Object>::instance(name));
}

// Loads the plug-in under a service name of its own, capturing what it logs.
class QuaystoneService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ACE_LOG_MSG->msg_ostream(&log, false);
        ACE_LOG_MSG->set_flags(ACE_Log_Msg::OSTREAM);
        ACE_LOG_MSG->clr_flags(ACE_Log_Msg::STDERR);
    }
    void TearDown() override
    {
        for (const std::string &name : loaded)
            ACE_Service_Config::process_directive(("remove " + name).c_str());
        ACE_LOG_MSG->msg_ostream(nullptr, false);
        ACE_LOG_MSG->clr_flags(ACE_Log_Msg::OSTREAM);
        ACE_LOG_MSG->set_flags(ACE_Log_Msg::STDERR);
    }

    Quaystone *load(const std::string &name, const std::string &arguments)
    {
        const std::string directive =
            "dynamic " + name + " Service_Object * Quaystone:__make_Quaystone() \"" + arguments + "\"";
        loaded.push_back(name);
        if (ACE_Service_Config::process_directive(directive.c_str()) != 0)
            return nullptr;
        return static_cast<Quaystone *>(ACE_Dynamic_Service<ACE_Service_Object>::instance(name.c_str()));
    }

    std::ostringstream log;
    std::vector<std::string> loaded;
};

TEST_F(QuaystoneService, WithoutArgumentsRegistersWithTheDefaultManager)
{
    FunctionPluginManager *defaultManager = manager("FunctionPluginManager");
    ASSERT_NE(defaultManager, nullptr);
    const std::size_t before = defaultManager->ContainerCount();

    Quaystone *module = load("QuaystonePlain", "");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->managerName, "FunctionPluginManager");
    EXPECT_EQ(module->pluginManager, defaultManager);
    ASSERT_NE(module->container, nullptr);
    EXPECT_STREQ(module->name(), "Quaystone");
    EXPECT_EQ(defaultManager->ContainerCount(), before + 1);
    EXPECT_EQ(log.str(), "");

    // The registered container is the one the manager asks.
    EXL_ExpressionVector arguments;
    EXPECT_EQ(defaultManager->CreateFunction("other", &arguments), nullptr);

    // Removing the service takes its container out of the manager.
    ACE_Service_Config::process_directive("remove QuaystonePlain");
    loaded.clear();
    EXPECT_EQ(defaultManager->ContainerCount(), before);
}

TEST_F(QuaystoneService, LastManagerArgumentWinsAndStrayArgumentsAreLoggedOnce)
{
    Quaystone *module = load("QuaystoneTwice", "-funcPluginManager Nope -x -funcPluginManager OtherManager");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->managerName, "OtherManager");
    EXPECT_EQ(module->pluginManager, manager("OtherManager"));
    EXPECT_EQ(log.str(), "Quaystone::init() : error in parameter : -x\n");
}

TEST_F(QuaystoneService, UnknownManagerFailsTheInitialisation)
{
    try {
        load("QuaystoneLost", "-funcPluginManager NoSuchService");
        FAIL() << "the initialisation succeeded";
    } catch (const EXL_BadServiceInitializationException &error) {
        EXPECT_EQ(error.message(), "Quaystone");
    }
    EXPECT_EQ(log.str(), "Quaystone::init_dependencies() : Can't find NoSuchService\n");
}

TEST_F(QuaystoneService, InitialisingAgainReplacesTheContainer)
{
    FunctionPluginManager *other = manager("OtherManager");
    const std::size_t before = other->ContainerCount();
    Quaystone *module = load("QuaystoneAgain", "-funcPluginManager OtherManager");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(other->ContainerCount(), before + 1);

    ACE_TCHAR flag[] = "-funcPluginManager";
    ACE_TCHAR value[] = "OtherManager";
    ACE_TCHAR *argv[] = {flag, value, nullptr};
    EXPECT_EQ(module->init(2, argv), 0);
    EXPECT_NE(module->container, nullptr);
    // The old container left the manager before it was deleted; only the new one answers.
    EXPECT_EQ(other->ContainerCount(), before + 1);
    EXPECT_THROW(other->CreateFunction("match", nullptr), EXL_ImproperNumberOfArguments);
    EXPECT_EQ(std::string(argv[0]), "-funcPluginManager"); // the directive's arguments stay as they were
}

TEST_F(QuaystoneService, FactoryHandsOutItsDeleter)
{
    ASSERT_NE(load("QuaystoneFactory", ""), nullptr);
    using Factory = ACE_Service_Object *(*)(ACE_Service_Object_Exterminator *);
    const auto factory = reinterpret_cast<Factory>(dlsym(RTLD_DEFAULT, "__make_Quaystone"));
    ASSERT_NE(factory, nullptr);

    ACE_Service_Object_Exterminator deleter = nullptr;
    ACE_Service_Object *object = factory(&deleter);
    ASSERT_NE(object, nullptr);
    ASSERT_NE(deleter, nullptr);
    auto *module = static_cast<Quaystone *>(object);
    EXPECT_EQ(module->container, nullptr);
    EXPECT_EQ(module->managerName, "");
    EXPECT_EQ(module->pluginManager, nullptr);
    deleter(object);

    ACE_Service_Object *withoutSlot = factory(nullptr);
    ASSERT_NE(withoutSlot, nullptr);
    deleter(withoutSlot);
}

} // namespace
