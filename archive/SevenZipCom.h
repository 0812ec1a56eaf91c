// The 7-Zip engine's COM-style boundary: result codes, GUIDs, BSTR texts, PROPVARIANT values and
// the interfaces in the engine's slot order. The engine reports IUnknown with exactly the three
// Windows slots and no virtual destructor, so a C++ class with the same pure virtual functions in
// the same order has the same method table. Nothing here is a global symbol: the engine exports
// Windows names (SysAllocString, VariantClear, ...) that must not be replaced by ours.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace archive::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using PROPID = std::uint32_t;
using VARTYPE = std::uint16_t;
using BSTR = wchar_t*;

constexpr HRESULT kOk = 0;
constexpr HRESULT kFalse = 1;
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
    friend bool operator==(const GUID&, const GUID&) = default;
};

// The engine's identifiers all share {23170F69-40C1-278A-0000-00gg00ii0000}.
constexpr GUID EngineInterface(std::uint8_t group, std::uint8_t id) {
    return {0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, id, 0, 0}};
}

constexpr GUID IID_IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID CLSID_Format7z = {
    0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};
constexpr GUID IID_IProgress = EngineInterface(0x00, 0x05);
constexpr GUID IID_ISequentialInStream = EngineInterface(0x03, 0x01);
constexpr GUID IID_ISequentialOutStream = EngineInterface(0x03, 0x02);
constexpr GUID IID_IInStream = EngineInterface(0x03, 0x03);
constexpr GUID IID_IOutStream = EngineInterface(0x03, 0x04);
constexpr GUID IID_IStreamGetSize = EngineInterface(0x03, 0x06);
constexpr GUID IID_ICryptoGetTextPassword = EngineInterface(0x05, 0x10);
constexpr GUID IID_ICryptoGetTextPassword2 = EngineInterface(0x05, 0x11);
constexpr GUID IID_ISetProperties = EngineInterface(0x06, 0x03);
constexpr GUID IID_IArchiveOpenCallback = EngineInterface(0x06, 0x10);
constexpr GUID IID_IArchiveExtractCallback = EngineInterface(0x06, 0x20);
constexpr GUID IID_IInArchive = EngineInterface(0x06, 0x60);
constexpr GUID IID_IArchiveUpdateCallback = EngineInterface(0x06, 0x80);
constexpr GUID IID_IOutArchive = EngineInterface(0x06, 0xA0);

// ---- BSTR: a malloc block of a 4-byte byte length, the characters and a terminating zero;
// the pointer points past the length. The engine allocates and frees them the same way.

BSTR AllocBstr(std::wstring_view text);
void FreeBstr(BSTR text);
// Hands the engine a new copy of text through out: S_OK, or E_FAIL when none can be made.
HRESULT CopyToBstr(std::wstring_view text, BSTR* out);

// ---- PROPVARIANT ----

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_FILETIME = 64;

constexpr std::int16_t VARIANT_TRUE = -1;

struct FILETIME {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
};

struct PROPVARIANT {
    VARTYPE vt;
    std::uint16_t wReserved1;
    std::uint16_t wReserved2;
    std::uint16_t wReserved3;
    union {
        std::int16_t boolVal;
        std::uint32_t ulVal;
        std::uint64_t uhVal;
        FILETIME filetime;
        BSTR bstrVal;
    };
};
static_assert(sizeof(PROPVARIANT) == 16);

// Frees what the value owns and leaves it VT_EMPTY.
void ClearProp(PROPVARIANT& value);
PROPVARIANT BoolProp(bool value);
PROPVARIANT UInt32Prop(std::uint32_t value);
PROPVARIANT UInt64Prop(std::uint64_t value);
PROPVARIANT FileTimeProp(std::uint64_t fileTime);
PROPVARIANT TextProp(std::wstring_view text);  // owns a new BSTR

// A PROPVARIANT that the engine fills and this scope frees.
class PropVariant {
public:
    PropVariant() : value_{} {}
    ~PropVariant() { ClearProp(value_); }
    PropVariant(const PropVariant&) = delete;
    PropVariant& operator=(const PropVariant&) = delete;

    PROPVARIANT* Out() {
        ClearProp(value_);
        return &value_;
    }
    VARTYPE Type() const { return value_.vt; }
    // 0 unless the value holds an unsigned or boolean number.
    std::uint64_t Number() const;
    // Empty unless the value holds a text.
    std::wstring Text() const;
    // 100 ns ticks since 1601 (UTC); 0 unless the value is a file time.
    std::uint64_t FileTime() const;

private:
    PROPVARIANT value_;
};

// ---- Time: file times are 100 ns ticks since 1601-01-01 UTC ----

std::uint64_t ToFileTime(std::chrono::system_clock::time_point time);
std::chrono::system_clock::time_point FromFileTime(std::uint64_t fileTime);

// ---- Interfaces, each in the engine's slot order ----

struct IUnknown {
    virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct ISequentialInStream : IUnknown {
    virtual HRESULT Read(void* data, std::uint32_t size, std::uint32_t* done) = 0;
};

struct IInStream : ISequentialInStream {
    virtual HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) = 0;
};

struct IStreamGetSize : IUnknown {
    virtual HRESULT GetSize(std::uint64_t* size) = 0;
};

struct ISequentialOutStream : IUnknown {
    virtual HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* done) = 0;
};

struct IOutStream : ISequentialOutStream {
    virtual HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) = 0;
    virtual HRESULT SetSize(std::uint64_t size) = 0;
};

struct IProgress : IUnknown {
    virtual HRESULT SetTotal(std::uint64_t total) = 0;
    virtual HRESULT SetCompleted(const std::uint64_t* done) = 0;
};

struct IArchiveUpdateCallback : IProgress {
    virtual HRESULT GetUpdateItemInfo(std::uint32_t index, std::int32_t* newData,
                                      std::int32_t* newProperties,
                                      std::uint32_t* indexInArchive) = 0;
    virtual HRESULT GetProperty(std::uint32_t index, PROPID id, PROPVARIANT* value) = 0;
    virtual HRESULT GetStream(std::uint32_t index, ISequentialInStream** stream) = 0;
    virtual HRESULT SetOperationResult(std::int32_t result) = 0;
};

struct IArchiveExtractCallback : IProgress {
    virtual HRESULT GetStream(std::uint32_t index, ISequentialOutStream** stream,
                              std::int32_t mode) = 0;
    virtual HRESULT PrepareOperation(std::int32_t mode) = 0;
    virtual HRESULT SetOperationResult(std::int32_t result) = 0;
};

struct IArchiveOpenCallback : IUnknown {
    virtual HRESULT SetTotal(const std::uint64_t* files, const std::uint64_t* bytes) = 0;
    virtual HRESULT SetCompleted(const std::uint64_t* files, const std::uint64_t* bytes) = 0;
};

struct ICryptoGetTextPassword : IUnknown {
    virtual HRESULT CryptoGetTextPassword(BSTR* password) = 0;
};

struct ICryptoGetTextPassword2 : IUnknown {
    virtual HRESULT CryptoGetTextPassword2(std::int32_t* defined, BSTR* password) = 0;
};

// Only the slots the component calls are declared; later ones are never reached.
struct IInArchive : IUnknown {
    virtual HRESULT Open(IInStream* stream, const std::uint64_t* maxStartPosition,
                         IArchiveOpenCallback* callback) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetNumberOfItems(std::uint32_t* count) = 0;
    virtual HRESULT GetProperty(std::uint32_t index, PROPID id, PROPVARIANT* value) = 0;
    virtual HRESULT Extract(const std::uint32_t* indices, std::uint32_t count, std::int32_t test,
                            IArchiveExtractCallback* callback) = 0;
};

struct IOutArchive : IUnknown {
    virtual HRESULT UpdateItems(ISequentialOutStream* stream, std::uint32_t count,
                                IArchiveUpdateCallback* callback) = 0;
};

struct ISetProperties : IUnknown {
    virtual HRESULT SetProperties(const wchar_t* const* names, const PROPVARIANT* values,
                                  std::uint32_t count) = 0;
};

// Holds one reference to an interface and releases it at the end.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* raw) {
        ComPtr p;
        p.raw_ = raw;
        return p;
    }
    ComPtr(const ComPtr& other) : raw_(other.raw_) {
        if (raw_) raw_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(raw_, other.raw_);
        return *this;
    }
    ~ComPtr() {
        if (raw_) raw_->Release();
    }
    T* get() const { return raw_; }
    T* operator->() const { return raw_; }
    T& operator*() const { return *raw_; }
    explicit operator bool() const { return raw_ != nullptr; }
    // Hands the reference to an out parameter of the engine.
    T* Detach() { return std::exchange(raw_, nullptr); }
    void** OutVoid() {
        *this = ComPtr();
        return reinterpret_cast<void**>(&raw_);
    }

private:
    T* raw_ = nullptr;
};

// Asks an object for another of its interfaces.
template <class T>
ComPtr<T> QueryAs(IUnknown* object, const GUID& iid) {
    ComPtr<T> result;
    if (object == nullptr || object->QueryInterface(iid, result.OutVoid()) != kOk) return {};
    return result;
}

// Our objects: a reference count shared by all the object's interfaces, deletion at the last
// Release, and QueryInterface over the interfaces that Find names. The first interface answers
// for IUnknown. The engine asks for optional interfaces we do not offer: E_NOINTERFACE.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (out == nullptr) return kFail;
        *out = iid == IID_IUnknown ? static_cast<First*>(this) : Find(iid);
        if (*out == nullptr) return kNoInterface;
        AddRef();
        return kOk;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    // The interface pointer for iid, or null.
    virtual void* Find(const GUID& iid) = 0;

private:
    std::atomic<ULONG> references_{0};
};

// A new object of ours with one reference, held by the result.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
    T* object = new T(std::forward<Args>(args)...);
    object->AddRef();
    return ComPtr<T>::Adopt(object);
}

}  // namespace archive::com

namespace archive {

// UTF-8 file names to the engine's wide texts and back. Bytes that are no UTF-8 travel as
// U+DC80..U+DCFF, so every Linux file name survives the round trip.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
// Upper case as the engine's names are compared.
std::wstring UpperCase(std::wstring text);

}  // namespace archive
