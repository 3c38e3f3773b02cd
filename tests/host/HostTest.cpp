// A host that never saw the library's headers: it loads the shared library at run time, looks
// up the factory by name and calls operations by their position in the table, as hosts built
// against their own declaration of the table do.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The host's own view of an object: a pointer to a table of function pointers.
struct HostObject {
  void* const* table;
};

class Library {
 public:
  Library() : handle_(::dlopen(LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  void* Find(const char* name) const { return handle_ == nullptr ? nullptr : ::dlsym(handle_, name); }
  bool Loaded() const { return handle_ != nullptr; }

 private:
  void* handle_;
};

template <class Result, class... Arguments>
Result Call(HostObject* object, int slot, Arguments... arguments) {
  using Function = Result (*)(HostObject*, Arguments...);
  Function function;
  void* entry = object->table[slot];
  std::memcpy(&function, &entry, sizeof function);
  return function(object, arguments...);
}

class Host : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.Loaded()) << ::dlerror();
    void* factory = library.Find("CreateICommand");
    ASSERT_NE(factory, nullptr);
    std::memcpy(&create, &factory, sizeof create);
    object = create();
    ASSERT_NE(object, nullptr);
  }
  void TearDown() override {
    if (object != nullptr) Call<void>(object, 7);  // Release
  }
  std::string ErrorText() {
    char text[64] = {};
    Call<int32_t>(object, 5, int32_t{sizeof text}, text);
    return text;
  }

  Library library;
  HostObject* (*create)() = nullptr;
  HostObject* object = nullptr;
};

TEST_F(Host, CallsByPositionReachTheOperationsOfTheTable) {
  char name[8] = {};
  EXPECT_EQ(Call<int32_t>(object, 0, int32_t{0}, name), 7);
  EXPECT_STREQ(name, "vormel");
  EXPECT_EQ(Call<int32_t>(object, 1), 0);
  EXPECT_EQ(Call<int32_t>(object, 2), 1);
  EXPECT_TRUE(Call<bool>(object, 20));  // CloseLink
  EXPECT_EQ(ErrorText(), "成功");
  EXPECT_FALSE(Call<bool>(object, 34, int32_t{0}, true));  // SetPtzAux
  EXPECT_EQ(ErrorText(), "方法没有实现");
  EXPECT_TRUE(Call<bool>(object, 9, "127.0.0.1", int32_t{1}, "admin", "admin"));  // SetNetworkTarget
  Call<void>(object, 19, int32_t{2});                                             // SetVideoPort
  EXPECT_EQ(Call<int32_t>(object, 79), -1);  // ShowVideoSettingsDialog: no dialogs here
  // Port 1 on loopback has no device: the operation fails and the code stays.
  EXPECT_FALSE(Call<bool>(object, 46));  // PtzStop
  EXPECT_EQ(ErrorText(), "成功");
}

TEST_F(Host, EntryNinetyTwoDestroysTheObject) {
  HostObject* second = create();
  ASSERT_NE(second, nullptr);
  Call<void>(second, 92, 1u);  // the deleting destructor, freeing (checked by the leak sanitizer)
}

TEST_F(Host, OnlyTheIntendedNamesAreExported) {
  EXPECT_NE(library.Find("VmlCmdGetOsdCaptionEx"), nullptr);
  EXPECT_NE(library.Find("VmlCmdSetSerialConfirm"), nullptr);
  EXPECT_EQ(library.Find("_ZN3vml15LastErrorCodeEv"), nullptr);
  EXPECT_EQ(library.Find("LLVMFuzzerTestOneInput"), nullptr);
}

}  // namespace
