"""What the archive test data scripts know of a 7z file's headers: where the start header says
the next header lies, its numbers, the packed streams it names first, and its CRCs made right
again after a change."""
import zlib

K_END, K_HEADER, K_MAIN_STREAMS_INFO, K_FILES_INFO = 0x00, 0x01, 0x04, 0x05
K_PACK_INFO, K_SIZE, K_ENCODED_HEADER = 0x06, 0x09, 0x17


def header_span(data):
    """Offset and size of the next header, as the start header gives them; (32, 0) when they
    lie outside the file."""
    offset = int.from_bytes(data[12:20], "little") + 32
    size = int.from_bytes(data[20:28], "little")
    if offset > len(data) or offset + size > len(data):
        return 32, 0
    return offset, size


def fix_start_crc(data):
    """The start header's CRC, after a change of what it says of the next header."""
    data[8:12] = zlib.crc32(bytes(data[12:32])).to_bytes(4, "little")


def fix_crcs(data):
    """The CRCs of the next header (as it is stored) and of the start header, after a change."""
    offset, size = header_span(data)
    data[28:32] = zlib.crc32(bytes(data[offset:offset + size])).to_bytes(4, "little")
    fix_start_crc(data)


def read_number(data, at):
    """A 7z number at `at`: its value and where it ends."""
    first, mask, value = data[at], 0x80, 0
    for i in range(8):
        if first & mask == 0:
            return value | ((first & (mask - 1)) << (8 * i)), at + 1 + i
        value |= data[at + 1 + i] << (8 * i)
        mask >>= 1
    return value, at + 9


def write_number(data, at, end, value):
    """`value` as a 7z number of the same length as the one in data[at:end]."""
    extra = end - at - 1
    high = value >> (8 * extra)
    assert high < (0x80 >> extra), "the number needs another byte"
    data[at] = ((0xFF << (8 - extra)) & 0xFF) | high
    for i in range(extra):
        data[at + 1 + i] = (value >> (8 * i)) & 0xFF


def pack_streams(data):
    """The packed streams the header's first pack information names: where they start, for
    each the span of its size field and its size, and whether the header is encoded (then they
    are the header's own, which follow the files'); None when the header begins otherwise."""
    offset, size = header_span(data)
    header = bytes(data[offset:offset + size])
    encoded = header[:2] == bytes([K_ENCODED_HEADER, K_PACK_INFO])
    if encoded:
        at = offset + 2
    elif header[:3] == bytes([K_HEADER, K_MAIN_STREAMS_INFO, K_PACK_INFO]):
        at = offset + 3
    else:
        return None
    position, at = read_number(data, at)
    count, at = read_number(data, at)
    if data[at] != K_SIZE:
        return None
    at += 1
    sizes = []
    for _ in range(count):
        value, end = read_number(data, at)
        sizes.append((at, end, value))
        at = end
    return 32 + position, sizes, encoded


def stream_ends(start, sizes):
    """Where each of the packed streams from `start` ends."""
    ends, at = [], start
    for _, _, size in sizes:
        at += size
        ends.append(at)
    return ends
