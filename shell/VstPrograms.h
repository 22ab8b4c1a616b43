// Programs: a name, a copy of every parameter value, an initialiser and optional chunk data; their
// collection.
#pragma once

#include "shell/AtomicValues.h"
#include "shell/VstTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ql::vst {

class TCustomVST1Module;

class TCustomVstProgram : public TCollectionItem {
    QL_CLASS(TCustomVstProgram)
  public:
    explicit TCustomVstProgram(TCollection* Collection);
    ~TCustomVstProgram() override;

    std::string DisplayName() const override { return fDisplayName; }
    /// Keeps the first 50 characters.
    void SetDisplayName(const std::string& v) override;
    TCustomVST1Module* VSTModule() const { return fVSTModule; }
    void SetVSTModule(TCustomVST1Module* v) { fVSTModule = v; }

    /// Raise "Index >= numParams!" for an index outside the module's parameters.
    void SetParameterValue(int Index, float Value);
    float GetParameterValue(int Index) const;
    /// The value array; sized to the module's parameter count. Safe to read from any thread.
    TAtomicFloats& ParameterValues() { return fValues; }
    const TAtomicFloats& ParameterValues() const { return fValues; }

    /// The program's chunk, or null when it has none (nothing in this framework creates one by itself).
    std::vector<uint8_t>* ChunkData() const { return fChunkData.get(); }
    void SetChunkData(std::unique_ptr<std::vector<uint8_t>> data) { fChunkData = std::move(data); }

    TNotifyEvent OnInitialize;

    void AssignTo(TPersistent* Dest) const override;

  private:
    void CheckIndex(int Index) const;

    std::string fDisplayName = "Init";
    TCustomVST1Module* fVSTModule = nullptr;
    TAtomicFloats fValues;
    std::unique_ptr<std::vector<uint8_t>> fChunkData;
};

class TCustomVstPrograms : public TOwnedCollection {
    QL_CLASS(TCustomVstPrograms)
  public:
    explicit TCustomVstPrograms(TCustomVST1Module* module);
    TCustomVstProgram* Items(int index) const;
    TCustomVST1Module* VSTModule() const { return fModule; }

  protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;

  private:
    TCustomVST1Module* fModule;
};

} // namespace ql::vst
