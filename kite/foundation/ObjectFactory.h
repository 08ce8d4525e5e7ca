// Registry from type names to creation functions.
#pragma once
#include <functional>
#include <string>
#include <unordered_map>

#include "kite/foundation/Ref.h"

namespace kite {

class ObjectFactory {
public:
    using Instance = Ref* (*)();
    using InstanceFunc = std::function<Ref*()>;

    // One registration. Constructing it from a name and a function registers a copy
    // with the factory; copies made otherwise do not register.
    struct TypeInfo {
        TypeInfo() = default;
        TypeInfo(const std::string& type, Instance instance);
        TypeInfo(const std::string& type, InstanceFunc instanceFunc);
        TypeInfo(const TypeInfo& other) = default;
        TypeInfo& operator=(const TypeInfo& other) = default;
        ~TypeInfo();

        std::string typeName;
        Instance function = nullptr;
        InstanceFunc functor;
    };

    // Made on first use; null if it cannot be allocated.
    static ObjectFactory* getInstance();
    static void destroyInstance();

    virtual ~ObjectFactory() = default;

    // A name already present keeps its first record.
    void registerType(const TypeInfo& typeInfo);
    bool isRegistered(const std::string& typeName) const;
    // Runs the registered creation function; null for an unknown name.
    Ref* createObject(const std::string& typeName) const;

private:
    ObjectFactory();

    std::unordered_map<std::string, TypeInfo> typeMap_;
};

}  // namespace kite
