#include "scene/objects.h"

#include "core/errors.h"

namespace kx {

int ParsedObjectInstanceObject::replay(RenderEngine&) const { return table_.lookupAndStart(label_); }

int ObjectTable::begin(const std::string& label, int parameterCount) {
    if (byLabel.count(label)) return kErrDuplicateObjectLabel;
    auto record = std::make_unique<ObjectRecord>();
    record->label = label;
    record->parameterCount = parameterCount;
    current = record.get();
    byLabel.emplace(label, record.get());
    records.push_back(std::move(record));
    return 0;
}

void ObjectTable::record(std::unique_ptr<ParsedObject> command) {
    if (current) current->commands.push_back(std::move(command));
}

int ObjectTable::lookupAndStart(const std::string& label) {
    auto it = byLabel.find(label);
    if (it == byLabel.end()) return kErrUnknownObjectLabel;
    ObjectRecord* found = it->second;
    if (found->active) return kErrRecursiveObject;
    ++replayDepth;
    found->savedDefinition = current;
    found->savedPosition = replayPosition;
    found->active = true;
    current = found;
    replayPosition = 0;
    return 0;
}

// A nested instance starts its definition here, without calling back into
// replay recursively, so the depth of nesting never grows the call stack.
int ObjectTable::replayStep(RenderEngine& engine, bool& drew) {
    drew = false;
    ObjectRecord* def = current;
    if (replayPosition >= def->commands.size()) {
        def->active = false;
        current = def->savedDefinition;
        replayPosition = def->savedPosition + 1;
        --replayDepth;
        return 0;
    }
    const ParsedObject& command = *def->commands[replayPosition];
    if (const std::string* label = command.instanceLabel()) return lookupAndStart(*label);
    int status = command.replay(engine);
    if (status != 0) return status;
    ++replayPosition;
    drew = command.draws();
    return 0;
}

void ObjectTable::reset() {
    byLabel.clear();
    records.clear();
    current = nullptr;
    replayDepth = 0;
    replayPosition = 0;
}

}  // namespace kx
