// Which bytes of a program file change from one build of the same code to
// the next: in x86 and x86-64 code of a PE or ELF file (inside executable
// sections), the displacement and immediate fields that hold addresses or
// relative targets (calls, jumps, RIP-relative and absolute operands), and in
// a PE file every field its base relocation table covers. Instructions are
// decoded with Zydis. Files that are neither PE nor ELF have no such bytes.
// Rules: the headers are read defensively (any field may be damaged or point
// outside the file: such parts are ignored, never trusted); nothing here
// reads outside the given bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CodeLayout {
  public:
    // Reads the headers of file; the bytes are not kept.
    explicit CodeLayout(std::span<const std::uint8_t> file);

    // Clears mask[i - begin] for each byte i of [begin, end) that changes
    // between builds, except inside [keepBegin, keepEnd) (an item's own
    // bytes, which the rebuild checks exactly). file must be the bytes given
    // to the constructor.
    void MaskWindow(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end,
                    std::size_t keepBegin, std::size_t keepEnd, std::uint8_t* mask) const;

    // True when the file is a PE or ELF file this understands.
    bool IsProgram() const { return program_; }

  private:
    struct CodeRange {
        std::size_t begin = 0; // file offsets
        std::size_t end = 0;
        bool longMode = false; // x86-64 rather than 32-bit x86
    };
    struct Field {
        std::size_t offset = 0; // file offset of a relocated field
        std::size_t size = 0;
    };
    // Decodes the instructions from start onwards while they begin before
    // end and clears the address fields of each inside [begin, end).
    void MaskCode(std::span<const std::uint8_t> file, const CodeRange& code, std::size_t start,
                  std::size_t begin, std::size_t end, std::uint8_t* mask) const;
    bool LooksLikeAddress(std::uint64_t value) const;
    void ReadPe(std::span<const std::uint8_t> file);
    void ReadElf(std::span<const std::uint8_t> file);

    bool program_ = false;
    std::vector<CodeRange> code_;
    std::vector<Field> relocated_; // sorted by offset
    // Virtual addresses the image occupies: immediates and displacements in
    // this range are taken as absolute addresses.
    std::uint64_t imageLow_ = 0;
    std::uint64_t imageHigh_ = 0;
};
