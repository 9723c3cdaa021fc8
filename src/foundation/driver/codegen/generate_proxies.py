#!/usr/bin/env python3
"""Writes the generated interface proxies from proxy_table.txt.

usage: generate_proxies.py [output directory]   (default: the driver folder above this one)
       generate_proxies.py --check <directory>   (exit 1 when the files there differ from what
                                                  the table gives; whitespace is not compared)

For each proxy of the table it writes <class>.h (the abstract interfaces and the class) and
<class>.cpp (the records with their layout checks and one method body per row). Every body is
the same template; rows differ only in command, records and status line.
"""

import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
STYLE = os.path.join(HERE, "..", "..", "..", "..", ".clang-format")
TABLE = os.path.join(HERE, "proxy_table.txt")

SIZES = {"u8": 1, "u16": 2, "u32": 4, "u64": 8, "i32": 4, "rec32": 32}
VALUE_TYPES = {"u8": "uint8_t", "u16": "uint16_t", "u32": "uint32_t", "u64": "uint64_t",
               "i32": "int32_t"}
# u8 results and u8 out-parameters are flags.
RESULT_TYPES = {"u8": "bool", "u16": "uint16_t", "u32": "uint32_t", "u64": "uint64_t"}
DIRECTIONS = {"none": 0, "write": 1, "read": 2, "both": 3}


class TableError(Exception):
  pass


class Field:
  def __init__(self, offset, type_, role, arg=None, name=None, end=None):
    self.offset = offset
    self.type = type_  # u8 u16 u32 u64 i32 rec32 pad
    self.role = role  # arg, status, result, resultpart, out, inout, pad
    self.arg = arg  # argument number for arg/out/inout
    self.name = name  # member name in the record
    self.end = end  # for pad: end offset (exclusive)

  def size(self):
    return self.end - self.offset if self.type == "pad" else SIZES[self.type]


class Record:
  def __init__(self, size, fields):
    self.size = size
    self.fields = fields

  def find(self, role):
    return [f for f in self.fields if f.role == role]


FIELD_RE = re.compile(r"^(\d+)\s+(?:(u8|u16|u32|u64|i32|rec32)\s+)?(.*)$")


def parse_record(text, where):
  text = text.strip()
  if text == "none":
    return None
  m = re.match(r"^(\d+):\s*(.*)$", text)
  if not m:
    raise TableError(f"{where}: record '{text}'")
  size = int(m.group(1))
  fields = []
  for part in [p.strip() for p in m.group(2).split(";")]:
    fm = FIELD_RE.match(part)
    if not fm:
      raise TableError(f"{where}: field '{part}'")
    offset, type_, rest = int(fm.group(1)), fm.group(2), fm.group(3).strip()
    if rest == "pad" and type_ is None:
      fields.append(Field(offset, "pad", "pad"))
      continue
    if type_ is None:
      raise TableError(f"{where}: field without type '{part}'")
    if rest == "status":
      if type_ != "i32":
        raise TableError(f"{where}: status must be i32")
      fields.append(Field(offset, type_, "status", name="status"))
    elif rest == "result":
      fields.append(Field(offset, type_, "result", name="result"))
    elif rest.startswith("result."):
      fields.append(Field(offset, type_, "resultpart", name=rest[len("result."):]))
    elif re.fullmatch(r"arg\d+", rest):
      fields.append(Field(offset, type_, "arg", arg=int(rest[3:]), name=rest))
    elif re.fullmatch(r"to \*arg\d+", rest):
      n = int(rest[len("to *arg"):])
      fields.append(Field(offset, type_, "out", arg=n, name=f"arg{n}"))
    elif re.fullmatch(r"\*arg\d+ \(in/out\)", rest):
      n = int(rest[len("*arg"):].split()[0])
      fields.append(Field(offset, type_, "inout", arg=n, name=f"arg{n}"))
    else:
      raise TableError(f"{where}: field '{part}'")
  # Pads run to the next field (or the end); every byte is covered exactly once.
  for i, f in enumerate(fields):
    nxt = fields[i + 1].offset if i + 1 < len(fields) else size
    if f.type == "pad":
      f.end = nxt
      f.name = f"pad{f.offset}"
    if f.offset % min(8, f.size() if f.type != "rec32" else 8) and f.type != "pad":
      raise TableError(f"{where}: field at {f.offset} is not naturally aligned")
    if f.offset + f.size() != nxt:
      raise TableError(f"{where}: field at {f.offset} does not reach the next one at {nxt}")
  if fields and fields[0].offset != 0:
    raise TableError(f"{where}: record does not start at 0")
  return Record(size, fields)


class Method:
  def __init__(self, proxy, interface, name, command, direction, inp, out, line, where):
    self.proxy = proxy
    self.interface = interface
    self.name = name
    self.command = command
    self.direction = direction
    self.input = inp
    self.output = out
    self.line = line
    self.where = where
    self.check()

  def has_status(self):
    return self.output is not None

  def check(self):
    w = self.where
    if self.command >> 30 != DIRECTIONS[self.direction]:
      raise TableError(f"{w}: direction bits differ from '{self.direction}'")
    if (self.command >> 16) & 0x3FFF != 32:
      raise TableError(f"{w}: size field is not 32")
    m = re.fullmatch(r"command([0-9A-F]{2})([0-9A-F]{2})", self.name)
    if m and (int(m.group(1), 16), int(m.group(2), 16)) != ((self.command >> 8) & 0xFF,
                                                            self.command & 0xFF):
      raise TableError(f"{w}: name and command differ")
    if self.has_status():
      if len(self.input.find("status")) != 1 or len(self.output.find("status")) != 1:
        raise TableError(f"{w}: one status per record expected")
      if self.line is None:
        raise TableError(f"{w}: status line missing")
    numbers = sorted(self.arguments().keys())
    if numbers != list(range(1, len(numbers) + 1)):
      raise TableError(f"{w}: arguments are not arg1..argN")

  def arguments(self):
    """argument number -> (kind, type) with kind value, out, inout or record."""
    args = {}
    for f in self.input.fields:
      if f.role == "arg":
        args[f.arg] = ("record" if f.type == "rec32" else "value", f.type)
      elif f.role == "inout":
        args[f.arg] = ("inout", f.type)
    for f in (self.output.fields if self.output else []):
      if f.role == "out":
        if f.arg in args:
          if args[f.arg] != ("inout", f.type):
            raise TableError(f"{self.where}: arg{f.arg} both in and out")
        else:
          args[f.arg] = ("out", f.type)
      elif f.role == "inout" or (f.role == "arg"):
        raise TableError(f"{self.where}: argument field in the output record")
    return args

  def result_kind(self):
    if not self.has_status():
      return "word"
    if self.output.find("result"):
      return "value"
    if self.output.find("resultpart"):
      return "record"
    return "none"

  def result_type(self):
    kind = self.result_kind()
    if kind == "word":
      return "uint32_t"
    if kind == "value":
      return RESULT_TYPES[self.output.find("result")[0].type]
    if kind == "record":
      return self.record_type()
    return "bool"

  def record_type(self):
    return "t" + self.name[0].upper() + self.name[1:] + "Result"

  def parameters(self):
    params = []
    args = self.arguments()
    # An in/out argument is written back from an output field "to *argN".
    for n in sorted(args):
      kind, type_ = args[n]
      if kind == "value":
        params.append(f"{VALUE_TYPES[type_]} arg{n}")
      elif kind == "record":
        params.append(f"const void* arg{n}")
      elif kind == "inout":
        params.append(f"{VALUE_TYPES[type_]}* arg{n}")
      else:
        params.append(f"{RESULT_TYPES[type_]}* arg{n}")
    if self.has_status():
      params.append("nQVVUSKS100::tStatus* status")
    return params


class Proxy:
  def __init__(self, name, header):
    self.name = name
    self.header = header
    self.interfaces = []  # in table order
    self.methods = {}  # interface -> [Method]
    self.bases = {}  # interface -> [interface]

  def suffix(self):
    return self.name[len("tInterfaceProxy_"):]


def parse_table(path):
  proxies = []
  proxy = None
  interface = None
  with open(path, encoding="utf-8") as f:
    for number, raw in enumerate(f, 1):
      line = raw.split("#", 1)[0].strip() if raw.lstrip().startswith("#") else raw.strip()
      if not line:
        continue
      where = f"{os.path.basename(path)}:{number}"
      words = line.split()
      if words[0] == "proxy":
        proxy = Proxy(words[1], words[2])
        proxies.append(proxy)
        interface = None
      elif words[0] == "bases":
        proxy.bases[words[1]] = words[2:]
      elif words[0] == "interface":
        interface = words[1]
        proxy.interfaces.append(interface)
        proxy.methods[interface] = []
      else:
        cells = [c.strip() for c in line.split("|")]
        if len(cells) != 6 or proxy is None or interface is None:
          raise TableError(f"{where}: row '{line}'")
        name, command, direction, inp, out, status_line = cells
        method = Method(proxy, interface, name, int(command, 16), direction,
                        parse_record(inp, where), parse_record(out, where),
                        None if status_line == "none" else int(status_line), where)
        proxy.methods[interface].append(method)
  for p in proxies:
    if p.suffix() not in p.interfaces:
      p.interfaces.insert(0, p.suffix())
      p.methods[p.suffix()] = []
    names = [m.name for ms in p.methods.values() for m in ms]
    if len(set(names)) != len(names):
      raise TableError(f"{p.name}: duplicate method names")
  return proxies


HEADER_NOTE = ("// Generated by codegen/generate_proxies.py from codegen/proxy_table.txt; do not "
               "edit.\n")


def interface_class(name):
  return "iInterfaceProxy_" + name


def ordered_interfaces(proxy):
  """Interfaces in dependency order: bases before the interfaces that name them."""
  all_names = list(proxy.interfaces)
  for owner, bases in proxy.bases.items():
    for b in [owner] + bases:
      if b not in all_names:
        all_names.append(b)
  done = []

  def visit(n):
    if n in done:
      return
    for b in proxy.bases.get(n, []):
      visit(b)
    done.append(n)

  for n in all_names:
    visit(n)
  return done


def write_header(proxy):
  out = []
  out.append("#pragma once\n")
  out.append(HEADER_NOTE)
  out.append(f"// The kernel driver's \"{proxy.suffix()}\" device interface: every method is one "
             "request-response\n// exchange through tDeviceInterfaceProxy::call with a fixed "
             "command code.\n\n")
  out.append("#include <cstdint>\n\n")
  out.append('#include "foundation/driver/tDeviceInterfaceProxy.h"\n')
  out.append('#include "foundation/errors/Status.h"\n\n')
  out.append("namespace nQVVANDRELBRENMOORU_22_8 {\n\n")
  for methods in proxy.methods.values():
    for m in methods:
      if m.result_kind() == "record":
        out.append(f"// The fields of {m.name}'s output record other than its status.\n")
        out.append(f"struct {m.record_type()} {{\n")
        for f in m.output.find("resultpart"):
          out.append(f"  {VALUE_TYPES[f.type]} {f.name};\n")
        out.append("};\n\n")
  for name in ordered_interfaces(proxy):
    bases = ["nQVVUSK000::iInterfaceProxy"] + [interface_class(b) for b in
                                               proxy.bases.get(name, [])]
    out.append(f"class {interface_class(name)} : "
               + ", ".join(f"public virtual {b}" for b in bases) + " {\n public:\n")
    out.append(f"  ~{interface_class(name)}() override = default;\n")
    for m in proxy.methods.get(name, []):
      out.append(f"  virtual {m.result_type()} {m.name}({', '.join(m.parameters())}) = 0;\n")
    out.append("};\n\n")
  out.append(f"class {proxy.name} : public nQVVUSK000::tDeviceInterfaceProxy,\n"
             f"    public {interface_class(proxy.suffix())} {{\n public:\n")
  out.append(f"  // The status records of driver failures name this file.\n")
  out.append(f"  static constexpr const char* kHeaderFile = \"{proxy.header}\";\n\n")
  out.append(f"  {proxy.name}() = default;\n")
  out.append(f"  {proxy.name}(const {proxy.name}&) = delete;\n")
  out.append(f"  {proxy.name}& operator=(const {proxy.name}&) = delete;\n")
  out.append(f"  // Closes the device node.\n  ~{proxy.name}() override;\n")
  for name in proxy.interfaces:
    out.append(f"\n  // {interface_class(name)}\n")
    for m in proxy.methods[name]:
      out.append(f"  {m.result_type()} {m.name}({', '.join(m.parameters())}) override;\n")
  out.append("};\n\n")
  out.append("}  // namespace nQVVANDRELBRENMOORU_22_8\n")
  return "".join(out)


def record_struct(name, record):
  align = max([8 if f.type == "rec32" else SIZES[f.type] for f in record.fields
               if f.type != "pad"] + [1])
  if record.size % align == 0:
    out = [f"struct {name} {{\n"]
  else:
    # The record ends before the next multiple of its widest member: keep its stated size.
    while record.size % align:
      align //= 2
    out = [f"// {record.size} bytes on the wire: no tail padding.\n",
           f"struct __attribute__((packed, aligned({align}))) {name} {{\n"]
  for f in record.fields:
    if f.type == "pad":
      out.append(f"  uint8_t {f.name}[{f.size()}];\n")
    elif f.type == "rec32":
      out.append(f"  uint64_t {f.name}[4];\n")
    else:
      out.append(f"  {VALUE_TYPES[f.type]} {f.name};\n")
  out.append("};\n")
  out.append(f"static_assert(sizeof({name}) == {record.size});\n")
  for f in record.fields:
    out.append(f"static_assert(offsetof({name}, {f.name}) == {f.offset});\n")
  return "".join(out)


def method_body(proxy, m):
  rt = m.result_type()
  kind = m.result_kind()
  in_name = f"t{m.name[0].upper()}{m.name[1:]}In"
  out_name = f"t{m.name[0].upper()}{m.name[1:]}Out"
  fail = {"word": "0", "value": "0", "record": "{}", "none": "false"}[kind]
  body = [f"{rt} {proxy.name}::{m.name}({', '.join(m.parameters())}) {{\n"]
  if not m.has_status():
    body.append(f"  {in_name} in{{}};\n")
    for f in m.input.fields:
      if f.role == "arg":
        body.append(f"  in.{f.name} = {f.name};\n")
    body.append("  // The session-close request carries no status; its outcome is the result "
                "word.\n")
    body.append("  nQVVUSKS100::tStatus local;\n")
    body.append(f"  return nQVVUSK000::tDeviceInterfaceProxy::call(k{m.name[0].upper()}"
                f"{m.name[1:]}, &in, sizeof in, nullptr, 0, &local);\n}}\n")
    return "".join(body)
  cmd = f"k{m.name[0].upper()}{m.name[1:]}"
  loc = f"{cmd}Location"
  body.append(f"  if (status->isError()) return {'true' if kind == 'none' else fail};\n")
  for f in m.input.fields:
    if f.role == "arg" and f.type == "rec32":
      body.append(f"  if ({f.name} == nullptr) {{\n"
                  f"    qverr::recordCode(*status, qverr::kInvalidParameter, {loc});\n"
                  f"    return {fail};\n  }}\n")
  body.append(f"  {in_name} in{{}};\n")
  for f in m.input.fields:
    if f.role == "arg":
      if f.type == "rec32":
        body.append(f"  std::memcpy(in.{f.name}, {f.name}, sizeof in.{f.name});\n")
      else:
        body.append(f"  in.{f.name} = {f.name};\n")
    elif f.role == "inout":
      body.append(f"  in.{f.name} = {f.name} != nullptr ? *{f.name} : 0;\n")
    elif f.role == "status":
      body.append("  in.status = static_cast<int32_t>(status->code);\n")
  body.append(f"  {out_name} out{{}};\n")
  body.append(f"  if (!exchange(*this, {cmd}, &in, sizeof in, &out, sizeof out, status)) "
              f"return {fail};\n")
  for f in m.output.fields:
    if f.role == "out":
      conv = f"out.{f.name} != 0" if f.type == "u8" else f"out.{f.name}"
      body.append(f"  if ({f.name} != nullptr) *{f.name} = {conv};\n")
  if kind == "none":
    body.append(f"  return takeDriverStatus(out.status, {loc}, status);\n}}\n")
    return "".join(body)
  body.append(f"  takeDriverStatus(out.status, {loc}, status);\n")
  if kind == "value":
    f = m.output.find("result")[0]
    conv = "out.result != 0" if f.type == "u8" else "out.result"
    body.append(f"  return {conv};\n}}\n")
  else:
    parts = ", ".join(f"out.{f.name}" for f in m.output.find("resultpart"))
    body.append(f"  return {rt}{{{parts}}};\n}}\n")
  return "".join(body)


def write_source(proxy):
  out = []
  out.append(HEADER_NOTE)
  out.append(f'#include "foundation/driver/{proxy.name}.h"\n\n')
  out.append("#include <cstddef>\n#include <cstring>\n\n")
  out.append('#include "foundation/driver/proxyExchange.h"\n')
  out.append('#include "foundation/errors/ErrorCodes.h"\n\n')
  out.append("namespace nQVVANDRELBRENMOORU_22_8 {\nnamespace {\n\n")
  out.append("using nQVVUSK000::makeCommand;\nusing proxy::exchange;\nusing proxy::takeDriverStatus;\n\n")
  out.append("constexpr const char* kFile = " + proxy.name + "::kHeaderFile;\n\n")
  for name in proxy.interfaces:
    for m in proxy.methods[name]:
      cmd = f"k{m.name[0].upper()}{m.name[1:]}"
      typ = (m.command >> 8) & 0xFF
      num = m.command & 0xFF
      out.append(f"// {interface_class(name)}::{m.name}\n")
      out.append(f"constexpr uint32_t {cmd} = 0x{m.command:08X};\n")
      out.append(f"static_assert({cmd} == makeCommand({m.command >> 30}, 0x{typ:02X}, "
                 f"0x{num:02X}));\n")
      if m.has_status():
        out.append(f"constexpr qverr::StatusLocation {cmd}Location{{kFile, {m.line}, "
                   "qverr::kComponent};\n")
      out.append(record_struct(f"t{m.name[0].upper()}{m.name[1:]}In", m.input))
      if m.output:
        out.append(record_struct(f"t{m.name[0].upper()}{m.name[1:]}Out", m.output))
      out.append("\n")
  out.append("}  // namespace\n\n")
  out.append(f"{proxy.name}::~{proxy.name}() {{ nQVVUSK000::tDeviceInterfaceProxy::close(); }}\n\n")
  for name in proxy.interfaces:
    for m in proxy.methods[name]:
      out.append(method_body(proxy, m))
      out.append("\n")
  out.append("}  // namespace nQVVANDRELBRENMOORU_22_8\n")
  return "".join(out)


def squeeze(text):
  return "".join(text.split())


def check(directory):
  stale = []
  for proxy in parse_table(TABLE):
    for name, text in ((f"{proxy.name}.h", write_header(proxy)),
                       (f"{proxy.name}.cpp", write_source(proxy))):
      path = os.path.join(directory, name)
      try:
        with open(path, encoding="utf-8") as f:
          current = f.read()
      except OSError:
        current = ""
      if squeeze(current) != squeeze(text):
        stale.append(path)
  for path in stale:
    print(f"out of date with the proxy table: {path}", file=sys.stderr)
  return 1 if stale else 0


def main():
  if len(sys.argv) == 3 and sys.argv[1] == "--check":
    return check(sys.argv[2])
  outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(HERE)
  for proxy in parse_table(TABLE):
    for name, text in ((f"{proxy.name}.h", write_header(proxy)),
                       (f"{proxy.name}.cpp", write_source(proxy))):
      path = os.path.join(outdir, name)
      with open(path, "w", encoding="utf-8") as f:
        f.write(text)
      # The output follows the project's format when the formatter is at hand.
      if shutil.which("clang-format") and os.path.exists(STYLE):
        subprocess.run(["clang-format", "-i", f"--style=file:{os.path.abspath(STYLE)}", path],
                       check=True)
  return 0


if __name__ == "__main__":
  try:
    sys.exit(main())
  except TableError as e:
    print(f"proxy table: {e}", file=sys.stderr)
    sys.exit(1)
