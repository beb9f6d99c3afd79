"""Reads what the tests need from a PE file: headers, imports and the resources, decoded."""

import struct
from dataclasses import dataclass

import pefile

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24

# Predefined window classes that a dialog template may name by ordinal.
CLASS_ORDINALS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox",
                  0x84: "scrollbar", 0x85: "combobox"}

DS_SETFONT = 0x40


@dataclass(frozen=True)
class Control:
    id: int
    cls: str  # lower case, ordinals resolved to their names
    style: int
    exstyle: int
    rect: tuple
    text: object  # str, or int for an ordinal


@dataclass(frozen=True)
class Dialog:
    style: int
    exstyle: int
    rect: tuple
    menu: object
    cls: object
    caption: str
    font: tuple  # (points, weight, italic, charset, face)
    controls: list


@dataclass(frozen=True)
class IconEntry:
    width: int
    height: int
    bpp: int
    image_id: int


class _Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def wstr(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise ValueError("unterminated string in template")
        text = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return text

    def sz_or_ord(self):
        first = self.take("H")
        if first == 0xFFFF:
            return self.take("H")
        self.at -= 2
        return self.wstr()

    def align(self, n=4):
        self.at = (self.at + n - 1) & ~(n - 1)


def parse_string_block(block, data):
    """The present entries of string-table block `block` as {id: text}."""
    reader, found = _Reader(data), {}
    for index in range(16):
        if reader.at + 2 > len(data):
            break
        count = reader.take("H")
        text = data[reader.at:reader.at + 2 * count]
        if len(text) != 2 * count:
            raise ValueError(f"string {index} of block {block} runs past the block")
        reader.at += 2 * count
        if count:
            found[(block - 1) * 16 + index] = text.decode("utf-16-le")
    return found


def _class_name(value):
    return CLASS_ORDINALS.get(value, value) if isinstance(value, int) else value.lower()


def parse_dialogex(data):
    reader = _Reader(data)
    version, signature = reader.take("HH")
    if (version, signature) != (1, 0xFFFF):
        raise ValueError("not an extended dialog template")
    _help, exstyle, style, count = reader.take("IIIH")
    rect = reader.take("hhhh")
    menu, cls, caption = reader.sz_or_ord(), reader.sz_or_ord(), reader.wstr()
    font = None
    if style & DS_SETFONT:
        points, weight, italic, charset = reader.take("HHBB")
        font = (points, weight, italic, charset, reader.wstr())
    controls = []
    for _ in range(count):
        reader.align()
        _help, c_exstyle, c_style = reader.take("III")
        c_rect = reader.take("hhhh")
        c_id = reader.take("I")
        c_cls, text = reader.sz_or_ord(), reader.sz_or_ord()
        extra = reader.take("H")  # creation data, skipped
        reader.at += extra
        controls.append(Control(c_id, _class_name(c_cls), c_style, c_exstyle, c_rect, text))
    return Dialog(style, exstyle, rect, menu, cls, caption, font, controls)


def parse_group_icon(data):
    reserved, kind, count = struct.unpack_from("<HHH", data)
    if (reserved, kind) != (0, 1):
        raise ValueError("not an icon group")
    entries = []
    for i in range(count):
        w, h, _colors, _res, _planes, bpp, _size, image_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        entries.append(IconEntry(w or 256, h or 256, bpp, image_id))
    return entries


def parse_icon_image(data):
    """(width, height, bpp) of one RT_ICON image, a DIB with its mask or a PNG."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        w, h, depth, colour = struct.unpack_from(">IIBB", data, 16)
        return w, h, depth * {6: 4, 2: 3}.get(colour, 1)
    _size, w, h, _planes, bpp = struct.unpack_from("<IiiHH", data)
    return w, h // 2, bpp  # the height counts the XOR image and the AND mask


class PeInfo:
    def __init__(self, path):
        self.pe = pefile.PE(str(path))
        self.resources = {}
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for rtype in root.entries if root else ():
            for name in rtype.directory.entries:
                for lang in name.directory.entries:
                    key = (_entry_key(rtype), _entry_key(name), lang.id)
                    self.resources[key] = self.pe.get_data(lang.data.struct.OffsetToData,
                                                           lang.data.struct.Size)

    @property
    def machine(self):
        return self.pe.FILE_HEADER.Machine

    @property
    def subsystem(self):
        return self.pe.OPTIONAL_HEADER.Subsystem

    @property
    def dll_characteristics(self):
        return self.pe.OPTIONAL_HEADER.DllCharacteristics

    def imports(self):
        return [e.dll.decode("ascii") for e in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", ())]

    def delay_imports(self):
        return [e.dll.decode("ascii")
                for e in getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", ())]

    def keys(self, rtype):
        """(name, language) of every resource of a type."""
        return {(name, lang) for t, name, lang in self.resources if t == rtype}

    def resource(self, rtype, name, lang=None):
        """The data of one resource; with no language given, the only one there is."""
        matches = [data for (t, n, l), data in self.resources.items()
                   if t == rtype and n == name and lang in (None, l)]
        if len(matches) != 1:
            raise KeyError(f"{len(matches)} resources of type {rtype}, name {name}, lang {lang}")
        return matches[0]

    def strings(self, lang):
        found = {}
        for (t, block, l), data in self.resources.items():
            if t == RT_STRING and l == lang:
                found.update(parse_string_block(block, data))
        return found

    def dialog(self, name, lang):
        return parse_dialogex(self.resource(RT_DIALOG, name, lang))

    def icon_group(self, name):
        return parse_group_icon(self.resource(RT_GROUP_ICON, name))

    def icon_image(self, image_id):
        return parse_icon_image(self.resource(RT_ICON, image_id))

    def fixed_version(self, which="File"):
        """VERSIONINFO's binary FILEVERSION, or PRODUCTVERSION with which="Product"."""
        info = self.pe.VS_FIXEDFILEINFO[0]
        ms, ls = getattr(info, which + "VersionMS"), getattr(info, which + "VersionLS")
        return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF

    def version_strings(self):
        """{"040904B0": {"FileDescription": ...}, ...} from the StringFileInfo blocks."""
        tables = {}
        for info in getattr(self.pe, "FileInfo", ()):
            for block in info:
                for table in getattr(block, "StringTable", ()):
                    tables[table.LangID.decode("ascii").upper()] = {
                        k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
        return tables


def _entry_key(entry):
    return str(entry.name) if entry.name is not None else entry.id
