"""The type stub beside the package says what the running module has: the same public names,
members, parameters, defaults and enumeration values, and it is what the stub writer makes of
the module now."""

import ast
import importlib.util
import inspect
import os
import unittest

from quern_testing import quern

PACKAGE = os.path.dirname(quern.__file__)
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def load_stub():
    with open(os.path.join(PACKAGE, "__init__.pyi"), encoding="utf-8") as file:
        return ast.parse(file.read())


def public(name):
    return not name.startswith("_") or name == "__version__"


def stub_parameters(function):
    """[(name, has a default)] of a stub function, without self."""
    args = function.args
    names = [a.arg for a in args.args]
    defaults = [False] * (len(names) - len(args.defaults)) + [True] * len(args.defaults)
    pairs = list(zip(names, defaults))
    return pairs[1:] if pairs and pairs[0][0] in ("self", "cls") else pairs


def runtime_parameters(function):
    return [(p.name, p.default is not p.empty)
            for p in inspect.signature(function).parameters.values() if p.name != "self"]


class Stub(unittest.TestCase):
    def setUp(self):
        self.stub = load_stub()
        self.top = {}
        for node in self.stub.body:
            if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
                self.top[node.name] = node
            elif isinstance(node, ast.AnnAssign):
                self.top[node.target.id] = node

    def test_the_stub_and_the_module_have_the_same_public_names(self):
        runtime = {name for name, value in vars(quern).items()
                   if public(name) and not inspect.ismodule(value)}
        self.assertEqual({name for name in self.top if public(name)}, runtime)

    def test_module_functions_have_the_same_parameters(self):
        for name, node in self.top.items():
            if isinstance(node, ast.FunctionDef) and public(name):
                with self.subTest(function=name):
                    self.assertEqual(stub_parameters(node), runtime_parameters(getattr(quern, name)))

    def test_classes_have_the_same_members_parameters_and_enumeration_values(self):
        for name, node in self.top.items():
            if not isinstance(node, ast.ClassDef) or not public(name):
                continue
            cls = getattr(quern, name)
            members = {n.name: n for n in node.body if isinstance(n, ast.FunctionDef)}
            if issubclass(cls, int):  # an IntEnum: its names (aliases too) and values
                values = {n.targets[0].id: ast.literal_eval(n.value) for n in node.body
                          if isinstance(n, ast.Assign)}
                self.assertEqual(values, {k: int(v) for k, v in cls.__members__.items()}, name)
                continue
            if not issubclass(cls, quern._quern.Handle):
                continue
            runtime = {n for n in vars(cls) if public(n) or n in ("__getitem__", "__len__",
                                                                   "__iter__")}
            self.assertEqual(set(members) - {"__init__"}, runtime, name)
            for member, function in members.items():
                value = vars(cls).get(member)
                with self.subTest(member=f"{name}.{member}"):
                    is_property = any(isinstance(d, ast.Name) and d.id == "property"
                                      for d in function.decorator_list)
                    self.assertEqual(is_property, isinstance(value, property))
                    if callable(value) and member[0] != "_":
                        self.assertEqual(stub_parameters(function), runtime_parameters(value))

    def test_the_stub_is_what_the_writer_makes_of_the_module_now(self):
        spec = importlib.util.spec_from_file_location(
            "write_quern_stub", os.path.join(ROOT, "scripts", "write_quern_stub.py"))
        writer = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(writer)
        with open(os.path.join(PACKAGE, "__init__.pyi"), encoding="utf-8") as file:
            self.assertEqual(file.read(), writer.stub_text(),
                             "run scripts/write_quern_stub.py python/quern/__init__.pyi")

    def test_the_package_says_it_is_typed(self):
        self.assertTrue(os.path.isfile(os.path.join(PACKAGE, "py.typed")))


if __name__ == "__main__":
    unittest.main()
