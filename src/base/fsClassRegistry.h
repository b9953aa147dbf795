#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A family of classes known by name (image formats, resources, shapes,
// effects, masks): one record per class, found by its exact class name, kept
// in the order of registration. TRecord has a std::string ClassName.
//
// The family's own classes come from a function run on first use, so that a
// static library cannot lose their registration to the linker and they
// always stand before classes registered by others.
template <class TRecord> class TClassRegistry {
public:
  using TStandard = std::function<std::vector<TRecord>()>;

  explicit TClassRegistry(TStandard standard = {}) : FStandard(std::move(standard)) {}
  TClassRegistry(const TClassRegistry &) = delete;
  TClassRegistry &operator=(const TClassRegistry &) = delete;

  // Adds a record, or replaces the one of the same class where it stands.
  void Register(TRecord record) {
    EnsureStandard();
    std::lock_guard<std::mutex> guard(FLock);
    Put(std::move(record));
  }

  std::optional<TRecord> Find(std::string_view className) const {
    EnsureStandard();
    std::lock_guard<std::mutex> guard(FLock);
    for (const auto &r : FRecords)
      if (r.ClassName == className)
        return r;
    return std::nullopt;
  }

  std::vector<TRecord> Records() const {
    EnsureStandard();
    std::lock_guard<std::mutex> guard(FLock);
    return FRecords;
  }

private:
  void Put(TRecord record) const {
    for (auto &r : FRecords)
      if (r.ClassName == record.ClassName) {
        r = std::move(record);
        return;
      }
    FRecords.push_back(std::move(record));
  }
  void EnsureStandard() const {
    std::call_once(FStandardDone, [this] {
      if (!FStandard)
        return;
      auto records = FStandard();
      std::lock_guard<std::mutex> guard(FLock);
      for (auto &r : records)
        Put(std::move(r));
    });
  }

  TStandard FStandard;
  mutable std::once_flag FStandardDone;
  mutable std::mutex FLock;
  mutable std::vector<TRecord> FRecords;
};

// The record of a family whose objects are made by name.
template <class TBase> struct TClassFactoryRecord {
  std::string ClassName;
  std::function<std::unique_ptr<TBase>()> Create;
};

// A registry that makes objects by class name; an unknown name gives the
// family's base class.
template <class TBase> class TClassFactory : public TClassRegistry<TClassFactoryRecord<TBase>> {
public:
  using TRecord = TClassFactoryRecord<TBase>;
  using TClassRegistry<TRecord>::TClassRegistry;

  template <class T> void RegisterClass(std::string className) {
    this->Register(TRecord{std::move(className), [] { return std::make_unique<T>(); }});
  }

  std::unique_ptr<TBase> Create(std::string_view className) const {
    auto record = this->Find(className);
    if (record && record->Create)
      return record->Create();
    return std::make_unique<TBase>();
  }
};
