// The built server is hardened: read its ELF file (program headers, dynamic
// section, dynamic symbols) and look for full RELRO, immediate binding, a
// position-independent executable and the stack protector.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

class ElfFile {
 public:
  explicit ElfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool Valid() const {
    return bytes_.size() >= sizeof(Elf64_Ehdr) && std::memcmp(bytes_.data(), ELFMAG, SELFMAG) == 0 &&
           bytes_[EI_CLASS] == ELFCLASS64 && bytes_[EI_DATA] == ELFDATA2LSB;
  }
  Elf64_Ehdr Header() const { return At<Elf64_Ehdr>(0); }

  std::vector<Elf64_Phdr> ProgramHeaders() const {
    const Elf64_Ehdr h = Header();
    std::vector<Elf64_Phdr> result;
    for (size_t i = 0; i < h.e_phnum; ++i) result.push_back(At<Elf64_Phdr>(h.e_phoff + i * h.e_phentsize));
    return result;
  }

  std::vector<Elf64_Shdr> SectionHeaders() const {
    const Elf64_Ehdr h = Header();
    std::vector<Elf64_Shdr> result;
    for (size_t i = 0; i < h.e_shnum; ++i) result.push_back(At<Elf64_Shdr>(h.e_shoff + i * h.e_shentsize));
    return result;
  }

  // The entries of the PT_DYNAMIC segment up to DT_NULL.
  std::vector<Elf64_Dyn> Dynamic() const {
    std::vector<Elf64_Dyn> result;
    for (const Elf64_Phdr& p : ProgramHeaders()) {
      if (p.p_type != PT_DYNAMIC) continue;
      for (size_t off = p.p_offset; off + sizeof(Elf64_Dyn) <= p.p_offset + p.p_filesz;
           off += sizeof(Elf64_Dyn)) {
        const Elf64_Dyn d = At<Elf64_Dyn>(off);
        if (d.d_tag == DT_NULL) break;
        result.push_back(d);
      }
    }
    return result;
  }

  // Names in the dynamic symbol table.
  std::set<std::string> DynamicSymbols() const {
    std::set<std::string> names;
    const std::vector<Elf64_Shdr> sections = SectionHeaders();
    for (const Elf64_Shdr& s : sections) {
      if (s.sh_type != SHT_DYNSYM || s.sh_link >= sections.size()) continue;
      const Elf64_Shdr& strings = sections[s.sh_link];
      for (size_t off = s.sh_offset; off + sizeof(Elf64_Sym) <= s.sh_offset + s.sh_size;
           off += sizeof(Elf64_Sym)) {
        const Elf64_Sym sym = At<Elf64_Sym>(off);
        if (sym.st_name == 0 || sym.st_name >= strings.sh_size) continue;
        const size_t start = strings.sh_offset + sym.st_name;
        if (start >= bytes_.size()) continue;
        names.insert(std::string(reinterpret_cast<const char*>(bytes_.data() + start),
                                 strnlen(reinterpret_cast<const char*>(bytes_.data() + start),
                                         bytes_.size() - start)));
      }
    }
    return names;
  }

 private:
  template <typename T>
  T At(size_t offset) const {
    T value{};
    if (offset <= bytes_.size() && sizeof(T) <= bytes_.size() - offset)
      std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    else
      ADD_FAILURE() << "read past the end of the file at " << offset;
    return value;
  }

  std::vector<unsigned char> bytes_;
};

TEST(ElfHardeningTest, ServerHasFullRelroBindNowPieAndStackProtector) {
  const ElfFile elf(QV_WEB_BINARY);
  ASSERT_TRUE(elf.Valid()) << QV_WEB_BINARY << " is not a 64-bit little-endian ELF file";

  bool relro = false;
  for (const Elf64_Phdr& p : elf.ProgramHeaders()) relro = relro || p.p_type == PT_GNU_RELRO;
  EXPECT_TRUE(relro) << "no PT_GNU_RELRO program header";

  bool bind_now = false, pie = false;
  for (const Elf64_Dyn& d : elf.Dynamic()) {
    if (d.d_tag == DT_BIND_NOW) bind_now = true;
    if (d.d_tag == DT_FLAGS && (d.d_un.d_val & DF_BIND_NOW)) bind_now = true;
    if (d.d_tag == DT_FLAGS_1 && (d.d_un.d_val & DF_1_NOW)) bind_now = true;
    if (d.d_tag == DT_FLAGS_1 && (d.d_un.d_val & DF_1_PIE)) pie = true;
  }
  EXPECT_TRUE(bind_now) << "no BIND_NOW in the dynamic section (partial RELRO)";
  EXPECT_EQ(elf.Header().e_type, ET_DYN) << "not a position-independent executable";
  EXPECT_TRUE(pie) << "no DF_1_PIE flag";

  const std::set<std::string> symbols = elf.DynamicSymbols();
  EXPECT_TRUE(symbols.count("__stack_chk_fail")) << "no reference to __stack_chk_fail";
}

}  // namespace
}  // namespace qv
