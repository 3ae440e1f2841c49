"""A small reader of the MSFT type-library format (what widl and MIDL write as .tlb): the
library's name, identifier, version and help string, and each type's kind, name, identifier,
flags, help string and members (functions with their dispatch ids, kinds and parameters;
variables with their constant values). Enough to check a type library we build, no more."""

import struct
import uuid

TKIND = ["enum", "record", "module", "interface", "dispatch", "coclass", "alias", "union"]
INVOKE = {1: "method", 2: "propget", 4: "propput", 8: "propputref"}

TYPEFLAG_APPOBJECT = 0x1
TYPEFLAG_CANCREATE = 0x2
TYPEFLAG_HIDDEN = 0x10
TYPEFLAG_DUAL = 0x40
TYPEFLAG_NONEXTENSIBLE = 0x80
TYPEFLAG_OLEAUTOMATION = 0x100

PARAMFLAG_IN, PARAMFLAG_OUT, PARAMFLAG_RETVAL = 0x1, 0x2, 0x8
PARAMFLAG_OPT, PARAMFLAG_HASDEFAULT = 0x10, 0x20

# The segment directory's entries, in file order.
SEGMENTS = ["typeinfo", "impinfo", "impfiles", "ref", "guidhash", "guid", "namehash", "name",
            "string", "typedesc", "arraydesc", "custdata", "cdguids", "res0e", "res0f"]


class FormatError(Exception):
    pass


class TypeLib:
    def __init__(self, data):
        self.data = data
        if data[:4] != b"MSFT":
            raise FormatError("not an MSFT type library")
        header = self._ints(0, 21)
        (_, _, posguid, self.lcid, _, varflags, version, _, count, helpstring, _, _, _, _,
         name_offset) = header[:15]
        self.syskind = varflags & 0xF
        self.version = (version & 0xFFFF, version >> 16)
        pos = 21 * 4 + (4 if varflags & 0x100 else 0) + 4 * count
        self.segments = {}
        for name in SEGMENTS:
            offset, length, _, _ = self._ints(pos, 4)
            self.segments[name] = (offset, length)
            pos += 16
        self.name = self._name(name_offset)
        self.guid = self._guid(posguid)
        self.help_string = self._string(helpstring)
        base = self.segments["typeinfo"][0]
        self.types = [self._type(base + i * 0x64) for i in range(count)]

    def _ints(self, pos, n):
        if pos < 0 or pos + 4 * n > len(self.data):
            raise FormatError("read past the end at %d" % pos)
        return list(struct.unpack_from("<%di" % n, self.data, pos))

    def _segment(self, name, offset):
        start, length = self.segments[name]
        if offset < 0 or offset >= length:
            raise FormatError("offset %d outside the %s segment" % (offset, name))
        return start + offset

    def _name(self, offset):
        if offset < 0:
            return None
        pos = self._segment("name", offset)
        length = self.data[pos + 8]
        return self.data[pos + 12:pos + 12 + length].decode("cp1251")

    def _guid(self, offset):
        if offset < 0:
            return None
        pos = self._segment("guid", offset)
        return uuid.UUID(bytes_le=bytes(self.data[pos:pos + 16]))

    def _string(self, offset):
        if offset < 0:
            return None
        pos = self._segment("string", offset)
        (length,) = struct.unpack_from("<H", self.data, pos)
        return self.data[pos + 2:pos + 2 + length].decode("cp1251")

    def _value(self, offset):
        if offset < 0:  # small values are packed into the offset itself
            return offset & 0x3FFFFFF
        pos = self._segment("custdata", offset)
        (vt,) = struct.unpack_from("<H", self.data, pos)
        if vt in (2, 18):  # VT_I2, VT_UI2
            return struct.unpack_from("<h" if vt == 2 else "<H", self.data, pos + 2)[0]
        if vt in (3, 19, 22, 23):  # VT_I4, VT_UI4, VT_INT, VT_UINT
            return struct.unpack_from("<i" if vt in (3, 22) else "<I", self.data, pos + 2)[0]
        raise FormatError("constant of variant type %d" % vt)

    def _type(self, pos):
        info = self._ints(pos, 25)
        kind = info[0] & 0xF
        cfuncs, cvars = info[6] & 0xFFFF, info[6] >> 16
        t = {
            "kind": TKIND[kind] if kind < len(TKIND) else kind,
            "guid": self._guid(info[11]),
            "flags": info[12],
            "name": self._name(info[13]),
            "version": (info[14] & 0xFFFF, info[14] >> 16),
            "help_string": self._string(info[15]),
            "functions": [],
            "variables": [],
        }
        count = cfuncs + cvars
        if count == 0:
            return t
        memoffset = info[1]
        (infolen,) = self._ints(memoffset, 1)
        records = memoffset + 4
        tail = records + infolen
        memids = self._ints(tail, count)
        names = self._ints(tail + 4 * count, count)
        offsets = self._ints(tail + 8 * count, count)
        for i in range(count):
            record = records + offsets[i]
            size = self._ints(record, 1)[0] & 0xFFFF
            name = self._name(names[i])
            if i < cfuncs:
                t["functions"].append(self._function(record, size, memids[i], name))
            else:
                value_offset = self._ints(record + 16, 1)[0]
                t["variables"].append({"name": name, "value": self._value(value_offset)})
        return t

    def _function(self, record, size, memid, name):
        _, _, flags, fkccic = self._ints(record, 4)[0:3] + self._ints(record + 16, 1)
        nrargs, noptional = struct.unpack_from("<hh", self.data, record + 20)
        (vtable_offset,) = struct.unpack_from("<h", self.data, record + 12)
        params = []
        first = record + size - 12 * nrargs
        for p in range(nrargs):
            _, name_offset, pflags = self._ints(first + 12 * p, 3)
            params.append({"name": self._name(name_offset), "flags": pflags})
        # Between the fixed fields and the parameters: optional fields (help context, help
        # string, ...), then one default value per parameter when any has one.
        defaults = 4 * nrargs if fkccic & 0x1000 else 0
        optional_fields = (size - 24 - defaults - 12 * nrargs) // 4
        help_string = None
        if optional_fields >= 2:
            help_string = self._string(self._ints(record + 28, 1)[0])
        return {
            "name": name,
            "memid": memid & 0xFFFFFFFF,
            "invkind": INVOKE.get((fkccic >> 3) & 0xF, (fkccic >> 3) & 0xF),
            "flags": flags,
            "params": params,
            "optional": noptional,
            "help_string": help_string,
            "vtable_offset": vtable_offset,
        }


def read(path):
    with open(path, "rb") as f:
        return TypeLib(f.read())
