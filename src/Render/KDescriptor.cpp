#include "Render/KDescriptor.h"

#include "core/KTextReader.h"

const KDescriptorSection& SKDescriptor::Section(const std::string& name) const {
    static const KDescriptorSection kEmpty;
    const auto found = sections.find(name);
    return found == sections.end() ? kEmpty : found->second;
}

SKDescriptor ParseDescriptor(const void* data, int32_t size) {
    SKDescriptor descriptor;
    CKTextReader reader(data, size);
    std::string line, key, value;

    // Whatever the first line is, it names the mesh: the word before "=" is
    // not looked at.
    if (!reader.ReadLine(line)) return descriptor;
    {
        CKTokenizer tokenizer(line, "=", true);
        tokenizer.NextToken(key);
        tokenizer.NextToken(descriptor.meshFile);
    }

    KDescriptorSection* section = nullptr;
    // The reader stops at the end and at an empty "[]" alike.
    while (reader.ReadLine(line)) {
        if (!reader.IsPlainLine()) {
            section = &descriptor.sections[ToLowerString(line)];
            continue;
        }
        if (!section) continue;
        CKTokenizer tokenizer(line, "=", true);
        tokenizer.NextToken(key);
        tokenizer.NextToken(value);
        (*section)[ToLowerString(key)] = ToLowerString(value);
    }
    return descriptor;
}
