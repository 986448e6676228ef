"""The one reader of layout documents for the checker and the resource packer: the text as the
engine stores it, parsed into elements that keep their line, and the pages each program opens.
"""
import xml.parsers.expat

# The pages each program opens by name: (required, optional). The installer ends before
# installing without its first two; the completion page can be switched off by the globals
# (global_show_completewindow). The uninstaller shows its three in order.
INSTALLER_PAGES = (("InitDlg", "InstallDlg"), ("CompleteDlg",))
UNINSTALLER_PAGES = (("UninstallDlg", "UninstallingDlg", "UninstalledDlg"), ())


class Element:
    def __init__(self, tag, attributes, line):
        self.tag, self.attributes, self.line = tag, attributes, line
        self.children = []
        self.text = None  # the first text child, as the loader reads it

    def get(self, name, default=None):
        return self.attributes.get(name, default)


def read_text(path):
    """A layout document's text, UTF-16 with a byte-order mark or UTF-8."""
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16")
    return data.decode("utf-8-sig")


def engine_bytes(path):
    """The document as the engine reads it: UTF-16LE with its byte-order mark."""
    return b"\xff\xfe" + read_text(path).encode("utf-16-le")


def parse(text):
    """Parses into Elements that keep their line; raises ExpatError with the line."""
    parser = xml.parsers.expat.ParserCreate()
    stack, root = [], []

    def start(tag, attributes):
        element = Element(tag, attributes, parser.CurrentLineNumber)
        (stack[-1].children if stack else root).append(element)
        stack.append(element)

    def end(_):
        stack.pop()

    def text_of(data):
        if stack and not stack[-1].children and stack[-1].text is None:
            stack[-1].text = data
        elif stack and not stack[-1].children:
            stack[-1].text += data

    parser.StartElementHandler, parser.EndElementHandler = start, end
    parser.CharacterDataHandler = text_of
    parser.Parse(text, True)
    return root[0]
