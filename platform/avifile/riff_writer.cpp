#include "platform/avifile/riff_writer.h"

namespace platform::avifile {

FieldWriter& FieldWriter::Put(std::uint64_t value, std::size_t bytes) {
    assert(used_ + bytes <= block_.size());
    for (std::size_t i = 0; i < bytes; ++i) {
        block_[used_++] = static_cast<std::byte>(value >> (8 * i));
    }
    return *this;
}

FieldWriter& FieldWriter::Zeros(std::size_t count) {
    assert(used_ + count <= block_.size());
    for (std::size_t i = 0; i < count; ++i) block_[used_++] = std::byte{0};
    return *this;
}

std::uint64_t RiffWriter::StartTag(FourCC id) {
    const std::uint64_t offset = sink_.Position();
    FieldBlock<8> header;
    header.fields.U32(id).U32(0);
    Write(header.fields);
    return offset;
}

std::uint64_t RiffWriter::StartList(FourCC form, FourCC type) {
    const std::uint64_t offset = StartTag(form);
    FieldBlock<4> listType;
    listType.fields.U32(type);
    Write(listType.fields);
    return offset;
}

bool RiffWriter::EndTag(std::uint64_t offset) {
    const std::uint64_t size = sink_.Position() - offset - 8;
    if (size > 0xFFFFFFFFu) return false;
    if (size % 2 != 0) WriteZeros(1);
    return PatchU32(offset + 4, static_cast<std::uint32_t>(size));
}

bool RiffWriter::PatchU32(std::uint64_t offset, std::uint32_t value) {
    FieldBlock<4> field;
    field.fields.U32(value);
    return Patch(offset, field.fields);
}

}  // namespace platform::avifile
