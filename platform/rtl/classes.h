// The persistent and component bases (ownership, names, free notification), lists,
// streams and string lists.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"
#include "platform/win/wintypes.h"

class TFiler;

// The body of a property setter: nothing happens when Value equals Field; otherwise
// Field takes Value and then AfterChange runs (an invalidation, a notification).
// Answers whether the value changed.
//   void TMyControl::SetSpacing(int Value) { SetAndNotify(spacing_, Value, [this] { Invalidate(); }); }
template <class T, class V, class F>
bool SetAndNotify(T& Field, V&& Value, F&& AfterChange) {
  if (Field == Value) return false;
  Field = std::forward<V>(Value);
  AfterChange();
  return true;
}

// An object that can copy itself from another (Assign) and stream properties.
class TPersistent : public TObject {
  VX_CLASS(TPersistent, TObject)

 public:
  // Copies Source into this object; the base asks Source to AssignTo this object.
  virtual void Assign(TPersistent* Source);
  virtual std::string GetNamePath() const;

 protected:
  // Copies this object into Dest; the base raises EConvertError
  // "Cannot assign a <source class> to a <dest class>".
  virtual void AssignTo(TPersistent* Dest);
  virtual void DefineProperties(TFiler* /*Filer*/) {}
  virtual TPersistent* GetOwner() { return nullptr; }
  [[noreturn]] void AssignError(TPersistent* Source);

  friend class TComponent;
};

enum class TOperation { opInsert, opRemove };

enum class TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;
constexpr auto csLoading = TComponentStateItem::csLoading;
constexpr auto csReading = TComponentStateItem::csReading;
constexpr auto csWriting = TComponentStateItem::csWriting;
constexpr auto csDestroying = TComponentStateItem::csDestroying;
constexpr auto csDesigning = TComponentStateItem::csDesigning;
constexpr auto csUpdating = TComponentStateItem::csUpdating;
constexpr auto csFreeNotification = TComponentStateItem::csFreeNotification;

// A component owns the components created with it as owner and deletes them when it
// is deleted. Components that asked for free notification are told (opRemove) when
// another component goes away, so they can drop their references to it.
class TComponent : public TPersistent {
  VX_CLASS(TComponent, TPersistent)

 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int Index) const;
  int ComponentIndex() const;
  // The owned component of that name (ignoring case), or null.
  TComponent* FindComponent(const std::string& AName) const;

  const std::string& Name() const { return name_; }
  // Raises EComponentError for a name that is not an identifier or that another
  // component of the same owner already has.
  virtual void SetName(const std::string& NewName);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t v) { tag_ = v; }

  TComponentState ComponentState() const { return state_; }
  void SetDesigning(bool Value, bool SetChildren = true);

  // Runs before the destructors, while the whole object (its derived parts included)
  // is still alive: owners call it before they delete an owned component, and Free
  // calls it before deleting. A form fires OnDestroy here.
  virtual void BeforeDestruction() {}
  // BeforeDestruction, then delete.
  void Free();

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void DestroyComponents();
  // Marks this component and its owned components as being destroyed.
  void Destroying();

  // Asks to be told (Notification with opRemove) when AComponent is deleted.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Ends loading: clears csLoading on this component and calls Loaded. Forms built
  // in code call it once their children's properties are set.
  void EndLoading();
  // Sets csLoading on this component and the components it owns.
  void BeginLoading();

  std::string GetNamePath() const override { return name_; }

 protected:
  virtual void Loaded();
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                              const std::string& NewName);
  virtual void SetChildOrder(TComponent* /*Child*/, int /*Order*/) {}
  TPersistent* GetOwner() override { return owner_; }

  void IncludeState(TComponentStateItem s) { state_.Include(s); }
  void ExcludeState(TComponentStateItem s) { state_.Exclude(s); }

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void RemoveNotification(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::string name_;
  intptr_t tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
};

// True when Name is a valid identifier (letters, digits and "_", not starting with a digit).
bool IsValidIdent(const std::string& Name);

// ---- Lists ----

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };
using TListSortCompare = int (*)(void* Item1, void* Item2);

// An ordered list of untyped pointers. Indexes are 0-based; a bad index raises
// EListError "List index out of bounds (<index>)".
class TList : public TObject {
  VX_CLASS(TList, TObject)

 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() override;

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes the first occurrence; returns its former index or -1.
  int Remove(void* Item);
  // Removes the first occurrence without deleting it (lnExtracted); returns it or null.
  void* Extract(void* Item);
  virtual void Clear();
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  int IndexOf(void* Item) const;
  void* First() const;
  void* Last() const;
  // Removes the null entries.
  void Pack();
  // Sorts with the given comparison (quick sort: equal items may change order).
  void Sort(TListSortCompare Compare);

  int Count() const { return static_cast<int>(items_.size()); }
  void SetCount(int NewCount);
  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int NewCapacity);
  void* Items(int Index) const;
  void SetItems(int Index, void* Item);
  void* operator[](int Index) const { return Items(Index); }
  void** List() { return items_.data(); }

 protected:
  // Told of every item added, extracted or deleted (not of null items).
  virtual void Notify(void* /*Ptr*/, TListNotification /*Action*/) {}
  [[noreturn]] static void IndexError(int Index);

 private:
  std::vector<void*> items_;
};

// A list of objects that, with OwnsObjects (the default), deletes the objects it
// loses by Delete, Remove, Clear, replacement or its own destruction.
class TObjectList : public TList {
  VX_CLASS(TObjectList, TList)

 public:
  explicit TObjectList(bool AOwnsObjects = true) : owns_(AOwnsObjects) {}
  ~TObjectList() override;

  int Add(TObject* AObject) { return TList::Add(AObject); }
  void Insert(int Index, TObject* AObject) { TList::Insert(Index, AObject); }
  int Remove(TObject* AObject) { return TList::Remove(AObject); }
  TObject* Extract(TObject* Item) { return static_cast<TObject*>(TList::Extract(Item)); }
  int IndexOf(TObject* AObject) const { return TList::IndexOf(AObject); }
  TObject* First() const { return static_cast<TObject*>(TList::First()); }
  TObject* Last() const { return static_cast<TObject*>(TList::Last()); }
  TObject* Items(int Index) const { return static_cast<TObject*>(TList::Items(Index)); }
  void SetItems(int Index, TObject* AObject) { TList::SetItems(Index, AObject); }
  TObject* operator[](int Index) const { return Items(Index); }
  // Index of the first object of class AClass (or derived, unless AExact), from AStartAt.
  int FindInstanceOf(TClass AClass, bool AExact = true, int AStartAt = 0) const;

  bool OwnsObjects() const { return owns_; }
  void SetOwnsObjects(bool Value) { owns_ = Value; }

 protected:
  void Notify(void* Ptr, TListNotification Action) override;

 private:
  bool owns_;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };
constexpr auto dupIgnore = TDuplicates::dupIgnore;
constexpr auto dupAccept = TDuplicates::dupAccept;
constexpr auto dupError = TDuplicates::dupError;

// A list guarded by one recursive lock: LockList gives the list and holds the lock
// until UnlockList; the owning thread may lock again.
class TThreadList : public TObject {
  VX_CLASS(TThreadList, TObject)

 public:
  TThreadList() = default;
  ~TThreadList() override;
  void Add(void* Item);  // with dupIgnore (the default) an item already present is not added again
  void Remove(void* Item);
  void Clear();
  TList* LockList();
  void UnlockList();
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }

 private:
  std::recursive_mutex lock_;
  TList list_;
  TDuplicates duplicates_ = dupIgnore;
};

// ---- Collections ----

class TCollection;

// An item of a collection: it knows its collection and its place in it, and tells
// the collection when it changes.
class TCollectionItem : public TPersistent {
  VX_CLASS(TCollectionItem, TPersistent)

 public:
  // Adds the item to Collection (when given).
  explicit TCollectionItem(TCollection* Collection);
  // Takes the item out of its collection.
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  // Moves the item from its collection to another (null: to none).
  void SetCollection(TCollection* Value);
  // The place in the collection (-1 without one).
  int Index() const;
  // Moves the item to another place of its collection.
  virtual void SetIndex(int Value);
  // A number given once, never reused within the collection.
  int ID() const { return id_; }
  // The class name unless a subclass names the item.
  virtual std::string DisplayName() const { return ClassName(); }

 protected:
  // Tells the collection: AllItems for a change that concerns every item.
  void Changed(bool AllItems);
  TPersistent* GetOwner() override;

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

using TCollectionItemClass = TClass;
enum class TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An ordered list that owns its items, all of one item class. Add makes an item of
// that class (and tells Update once it is whole); deleting an item or the collection
// deletes the items. Between
// BeginUpdate and the last EndUpdate changes are gathered into one Update(nullptr).
// A bad index raises EListError "List index out of bounds (<index>)".
class TCollection : public TPersistent {
  VX_CLASS(TCollection, TPersistent)

 public:
  // Makes one item of the collection's class in the collection.
  using TItemFactory = TCollectionItem* (*)(TCollection* Collection);

  TCollection(TCollectionItemClass ItemClass, TItemFactory Factory);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int Index) const;
  TCollectionItem* FindItemID(int ID) const;
  TCollectionItemClass ItemClass() const { return itemClass_; }
  // Replaces the items by copies of Source's (a collection of the same item class).
  void Assign(TPersistent* Source) override;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

 protected:
  // An item changed (null: the collection or several items).
  virtual void Update(TCollectionItem* /*Item*/) {}
  // cnAdded comes while the item is still being made: only its identity may be used.
  virtual void Notify(TCollectionItem* /*Item*/, TCollectionNotification /*Action*/) {}
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);
  void ItemChanged(TCollectionItem* Item);

  TCollectionItemClass itemClass_;
  TItemFactory factory_;
  std::vector<TCollectionItem*> items_;
  int nextId_ = 0;
  int updateCount_ = 0;
};

// A collection that names its owner (for GetNamePath and notifications).
class TOwnedCollection : public TCollection {
  VX_CLASS(TOwnedCollection, TCollection)

 public:
  TOwnedCollection(TPersistent* AOwner, TCollectionItemClass ItemClass, TItemFactory Factory)
      : TCollection(ItemClass, Factory), owner_(AOwner) {}

 protected:
  TPersistent* GetOwner() override { return owner_; }

 private:
  TPersistent* owner_;
};

// ---- Streams ----

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

// A byte stream with 64-bit positions. Read returns the bytes read (fewer at the end,
// never raising); ReadBuffer and WriteBuffer raise EReadError "Stream read error" /
// EWriteError "Stream write error" when the whole count does not go through.
// Seeking past the end is allowed; reads there return 0.
class TStream : public TObject {
  VX_CLASS(TStream, TObject)

 public:
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // The new position, or -1 when the position cannot be set.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies the whole of Source
  // from its start. Returns the count copied.
  int64_t CopyFrom(TStream* Source, int64_t Count);
};

// A stream over an open file descriptor, which it does not close.
class THandleStream : public TStream {
  VX_CLASS(THandleStream, TStream)

 public:
  explicit THandleStream(int AHandle) : handle_(AHandle) {}
  int Handle() const { return handle_; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  // Truncates or extends the file (sparse); raises EOSError on failure.
  void SetSize(int64_t NewSize) override;

 protected:
  int handle_;
};

// File open modes. Sharing flags are accepted and have no effect here.
constexpr Word fmCreate = 0xFFFF;
constexpr Word fmOpenRead = 0x0000;
constexpr Word fmOpenWrite = 0x0001;
constexpr Word fmOpenReadWrite = 0x0002;
constexpr Word fmShareCompat = 0x0000;
constexpr Word fmShareExclusive = 0x0010;
constexpr Word fmShareDenyWrite = 0x0020;
constexpr Word fmShareDenyRead = 0x0030;
constexpr Word fmShareDenyNone = 0x0040;

// A stream over a named file (through NativePath). fmCreate creates or empties it;
// failures raise EFCreateError 'Cannot create file "<name>". <reason>' or
// EFOpenError 'Cannot open file "<name>". <reason>'.
class TFileStream : public THandleStream {
  VX_CLASS(TFileStream, THandleStream)

 public:
  TFileStream(const std::string& AFileName, Word Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// A stream in memory. Memory() stays valid until the size changes.
class TMemoryStream : public TStream {
  VX_CLASS(TMemoryStream, TStream)

 public:
  TMemoryStream() = default;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // New bytes are zero; raises EOutOfMemory when the memory cannot be had.
  void SetSize(int64_t NewSize) override;
  void* Memory() { return data_.data(); }
  const void* Memory() const { return data_.data(); }
  void Clear();
  // Replaces the contents by the whole of Stream (read from its start).
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only stream over a resource of a module (platform/win/resources.h). Raises
// EResNotFound "Resource <name> not found" when the module has no such resource.
class TResourceStream : public TStream {
  VX_CLASS(TResourceStream, TStream)

 public:
  TResourceStream(HINSTANCE Instance, const std::string& ResName, const char* ResType);
  // The resource numbered ResID.
  TResourceStream(HINSTANCE Instance, int ResID, const char* ResType);
  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises EStreamError "Can't write to a read-only resource stream".
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t NewSize) override;
  const void* Memory() const { return data_; }

 private:
  void Initialize(HINSTANCE Instance, const char* Name, const char* ResType);

  const unsigned char* data_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// ---- String lists ----

class TStrings;
class TStringList;
class TEncoding;
using TStringListSortCompare = int (*)(TStringList* List, int Index1, int Index2);

// The abstract list of strings with an object per string. Lookups ignore ASCII case
// unless a subclass says otherwise. A line "name=value" has a name and a value
// (NameValueSeparator, "=" by default).
class TStrings : public TPersistent {
  VX_CLASS(TStrings, TPersistent)

 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  virtual int Count() const = 0;
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  void Append(const std::string& S) { Add(S); }
  virtual void AddStrings(TStrings* Strings);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);
  void Assign(TPersistent* Source) override;

  virtual int IndexOf(const std::string& S) const;
  // The first line whose name is Name, or -1.
  virtual int IndexOfName(const std::string& Name) const;
  int IndexOfObject(TObject* AObject) const;

  std::string Strings(int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  std::string operator[](int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }
  // The text before the first separator; "" for a line without one.
  std::string Names(int Index) const;
  // The value of the first line named Name; "" when there is none.
  std::string Values(const std::string& Name) const;
  // Sets the value of the first line named Name, adding "Name=Value" when there is
  // none; an empty Value deletes that line.
  void SetValues(const std::string& Name, const std::string& Value);
  // The text after the first separator; "" for a line without one.
  std::string ValueFromIndex(int Index) const;
  void SetValueFromIndex(int Index, const std::string& Value);
  char NameValueSeparator() const { return nameValueSeparator_; }
  void SetNameValueSeparator(char Value) { nameValueSeparator_ = Value; }

  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines; a line ends at CR LF, LF or CR. A leading UTF-8 byte-order
  // mark is dropped.
  virtual void SetText(std::string_view Value);
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);
  // Items joined by Delimiter; items holding blanks, control characters, the
  // delimiter or the quote are quoted (quotes doubled).
  std::string DelimitedText() const;
  // Splits at Delimiter and at blanks outside quotes.
  void SetDelimitedText(std::string_view Value);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char Value) { delimiter_ = Value; }
  char QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(char Value) { quoteChar_ = Value; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  virtual void LoadFromFile(const std::string& FileName);
  virtual void LoadFromStream(TStream* Stream);
  virtual void SaveToFile(const std::string& FileName);
  virtual void SaveToStream(TStream* Stream);
  // The same in a code page: the file's bytes are converted from it when read, and the
  // text into it when written.
  void LoadFromFile(const std::string& FileName, TEncoding* Encoding);
  void LoadFromStream(TStream* Stream, TEncoding* Encoding);
  void SaveToFile(const std::string& FileName, TEncoding* Encoding);
  void SaveToStream(TStream* Stream, TEncoding* Encoding);

 protected:
  virtual std::string Get(int Index) const = 0;
  virtual TObject* GetObject(int /*Index*/) const { return nullptr; }
  virtual void Put(int Index, const std::string& S);
  virtual void PutObject(int /*Index*/, TObject* /*AObject*/) {}
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  // Called when the first BeginUpdate starts and the last EndUpdate ends.
  virtual void SetUpdateState(bool /*Updating*/) {}
  [[noreturn]] static void IndexError(int Index);
  // The name part of S, or false when S holds no separator.
  bool NameOf(std::string_view S, std::string_view& Name) const;

 private:
  std::string JoinDelimited(char delimiter, char quote) const;
  void SplitDelimited(std::string_view Value, char delimiter, char quote);

  int updateCount_ = 0;
  char nameValueSeparator_ = '=';
  char delimiter_ = ',';
  char quoteChar_ = '"';
};

// The string list. Sorted lists keep their order on Add and find by binary search;
// Duplicates decides what Add does with a string already there (dupIgnore keeps
// the old one, dupError raises EStringListError "String list does not allow
// duplicates"). Looking up names or strings of a long list uses an index that is
// kept up to date as lines are appended, so building a list by "look up, then add"
// stays linear. Not safe for concurrent use, lookups included.
class TStringList : public TStrings {
  VX_CLASS(TStringList, TStrings)

 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(items_.size()); }
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* AObject) override;
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  void Delete(int Index) override;
  void Clear() override;
  void Exchange(int Index1, int Index2) override;
  void SetText(std::string_view Value) override;
  int IndexOf(const std::string& S) const override;
  int IndexOfName(const std::string& Name) const override;
  // Binary search of a sorted list: true and the first match's index, or false and
  // the index where S would go.
  virtual bool Find(const std::string& S, int& Index) const;
  virtual void Sort();
  virtual void CustomSort(TStringListSortCompare Compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  std::string Get(int Index) const override;
  TObject* GetObject(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void PutObject(int Index, TObject* AObject) override;
  int CompareStrings(const std::string& S1, const std::string& S2) const final;
  void SetUpdateState(bool Updating) override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  // First index of each key, for IndexOf (whole lines) and IndexOfName (names).
  struct LookupIndex {
    bool valid = false;
    bool caseSensitive = false;
    char separator = 0;
    std::unordered_map<std::string, int> first;
  };

  void InsertItem(int Index, std::string S, TObject* AObject);
  void ExchangeItems(int Index1, int Index2);
  void QuickSort(int L, int R, TStringListSortCompare Compare);
  void CheckIndex(int Index) const;
  std::string Key(std::string_view S) const;
  void Invalidate() const;
  bool KeyOf(const LookupIndex& Index, std::string_view S, std::string& K) const;
  bool BuildLookup(LookupIndex& Index) const;
  void Relink(int Index, const std::string* OldText, const std::string* NewText) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
  mutable LookupIndex lines_, names_;
};

namespace vx_classes {
// The lines of a text as SetText reads them: a line ends at CR LF, LF or CR; a
// leading UTF-8 byte-order mark is dropped. The views point into Text.
std::vector<std::string_view> SplitLines(std::string_view Text);
// Everything from the stream's position to its end.
std::string ReadToEnd(TStream* Stream);
}  // namespace vx_classes

// Splits Content into Strings at any character of Separators (and at line breaks),
// skipping characters of WhiteSpace at the start of each field; empty fields are
// dropped and text in single or double quotes is not split (the quotes stay).
// Returns the number of fields added.
int ExtractStrings(std::string_view Separators, std::string_view WhiteSpace, std::string_view Content,
                   TStrings* Strings);

// ---- The component palette ----
//
// What the Register procedures of design-time packages put on the palette: named
// pages, each with its component classes in the order they came. Registering a class
// also makes it known by name (RegisterClass). A class is on one page: registering a
// class name again replaces the earlier entry, as every registry of this library
// does. When a package is unloaded, its classes leave the palette and the class list.
using TComponentClass = TClass;

void RegisterComponents(const std::string& Page, std::initializer_list<TComponentClass> ComponentClasses);
// The pages, in the order of their first registration.
std::vector<std::string> GetPalettePages();
// The classes of a page (its name ignoring case), in order.
std::vector<TComponentClass> GetPaletteClasses(const std::string& Page);
// The palette class of that name (ignoring case) and its page, or null.
TComponentClass FindPaletteClass(const std::string& ClassName, std::string* Page = nullptr);
// Drops the classes whose descriptors lie in the module from the palette and the class
// list (the library runs it for every package it unloads).
void UnRegisterModuleClasses(HMODULE Module);
