// The object factory.
#include "kite/foundation/ObjectFactory.h"

#include <new>
#include <utility>

namespace kite {

namespace {
// Constant-initialised, so registrations made by other start-up initialisers find it.
ObjectFactory* instance = nullptr;
}  // namespace

ObjectFactory::TypeInfo::TypeInfo(const std::string& type, Instance instanceFunction)
    : typeName(type), function(instanceFunction) {
    if (ObjectFactory* factory = ObjectFactory::getInstance()) factory->registerType(*this);
}

ObjectFactory::TypeInfo::TypeInfo(const std::string& type, InstanceFunc instanceFunc)
    : typeName(type), functor(std::move(instanceFunc)) {
    if (ObjectFactory* factory = ObjectFactory::getInstance()) factory->registerType(*this);
}

ObjectFactory::TypeInfo::~TypeInfo() {
    typeName.clear();
    function = nullptr;
    functor = nullptr;
}

ObjectFactory::ObjectFactory() { typeMap_.max_load_factor(1.0f); }

ObjectFactory* ObjectFactory::getInstance() {
    if (instance == nullptr) instance = new (std::nothrow) ObjectFactory();
    return instance;
}

void ObjectFactory::destroyInstance() {
    delete instance;
    instance = nullptr;
}

void ObjectFactory::registerType(const TypeInfo& typeInfo) { typeMap_.emplace(typeInfo.typeName, typeInfo); }

bool ObjectFactory::isRegistered(const std::string& typeName) const { return typeMap_.count(typeName) != 0; }

Ref* ObjectFactory::createObject(const std::string& typeName) const {
    auto found = typeMap_.find(typeName);
    if (found == typeMap_.end()) return nullptr;
    const TypeInfo& info = found->second;
    if (info.function) return info.function();
    if (info.functor) return info.functor();
    return nullptr;
}

}  // namespace kite
