#!/usr/bin/env python3
"""Writes the bad-input corpus of task documents and its manifest.

Every document goes to documents/<name>.xml; expected.tsv says, one line per document, what
reading it must give:

    file  outcome  hresult  messages  name

outcome is "refused" (reading the document raises hresult, with the first messages fragment in
the description), "unreadable" (the file is not read at all: not UTF-8, too large; the load
answers hresult and nothing is raised) or "accepted" (messages lists, separated by "|", every
warning the reading logs, "-" for none). name is the task name an accepted document must give,
"*" when the test does not look at it.

The documents are plain data, committed with this script; run it again after changing it:
    python3 tests/corpus/make_corpus.py
"""

import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "documents")

E_FAIL = "0x80004005"

NOT_XML = "Failed to load task xml into XMLDOM. Error "
NO_BEGIN = "No BeginDate specified for trigger."
BAD_END = "Invalid EndDate specified for trigger. EndDate must be greater than begin date."
BAD_WEEK = "Invalid Week specified for trigger."
BAD_DAYS_OF_WEEK = "Invalid DaysOfWeek specified for trigger."
BAD_DAYS_OF_MONTH = "Invalid DaysOfMonth specified for trigger."

NO_INTERVAL = "No task Interval specified, defaulting to 0"
NO_DURATION = "Invalid task Duration specified, defaulting to 0"
SHORT_DURATION = ("Invalid trigger settings. The task duration must be greater than the task "
                  "interval. Using an interval value of 0")
NO_DAYS_INTERVAL = "Invalid task DaysInterval specified, defaulting to 1"
NO_WEEKS_INTERVAL = "Invalid task WeeksInterval specified, defaulting to 1"
NO_MONTHS = "Invalid task MonthsOfYear specified, defaulting to 4095"


def negative_interval(value):
    return "Invalid task Interval %d specified, defaulting to 0" % value


HANDLER = "<HandlerCLSID>{00000000-0000-0000-0000-000000000001}</HandlerCLSID>"
COMMAND = "<ApplicationName>/bin/true</ApplicationName>"


def trigger(attributes, elements):
    """A Trigger element; attributes and elements are lists of (name, value) pairs."""
    attrs = "".join(' %s="%s"' % pair for pair in attributes)
    inner = "".join("<%s>%s</%s>" % (n, v, n) for n, v in elements)
    return "<Trigger%s>%s</Trigger>" % (attrs, inner)


def document(triggers, name="Corpus", prolog="", extra=""):
    return ('%s<Schedule Name="%s"><Task><Triggers>%s</Triggers>%s%s%s</Task></Schedule>'
            % (prolog, name, triggers, HANDLER, COMMAND, extra))


class Corpus:
    def __init__(self):
        self.rows = []
        self.names = set()

    def add(self, name, content, outcome, messages=(), task_name="*", hresult=E_FAIL):
        assert name not in self.names, name
        self.names.add(name)
        data = content.encode("utf-8") if isinstance(content, str) else content
        with open(os.path.join(OUT, name + ".xml"), "wb") as out:
            out.write(data)
        listed = "|".join(messages) if messages else "-"
        assert "\t" not in listed and "\n" not in listed and "\t" not in task_name
        self.rows.append("\t".join([name + ".xml", outcome, hresult, listed, task_name]))

    def refused(self, name, content, message):
        self.add(name, content, "refused", [message])

    def accepted(self, name, content, warnings=(), task_name="Corpus"):
        self.add(name, content, "accepted", warnings, task_name, hresult="0x00000000")

    def unreadable(self, name, content):
        self.add(name, content, "unreadable")

    def write_manifest(self):
        with open(os.path.join(HERE, "expected.tsv"), "w", encoding="utf-8") as out:
            out.write("# file\toutcome\thresult\tmessages\tname (written by make_corpus.py)\n")
            out.write("\n".join(self.rows) + "\n")


BEGIN = ("BeginDate", "2030-01-01 10:00")
REPEAT = [("Interval", "15"), ("Duration", "60")]

# Per type: the attributes and elements of a trigger that reads without any warning.
COMPLETE = {
    0: (REPEAT, [BEGIN]),
    1: (REPEAT, [BEGIN, ("EndDate", "2031-01-01"), ("DaysInterval", "2")]),
    2: (REPEAT, [BEGIN, ("EndDate", "2031-01-01"), ("WeeksInterval", "1"),
                 ("DaysOfWeek", "62")]),
    3: (REPEAT, [BEGIN, ("EndDate", "2031-01-01"), ("DaysOfMonth", "16385"),
                 ("MonthsOfYear", "4095")]),
    4: (REPEAT, [BEGIN, ("EndDate", "2031-01-01"), ("Week", "2"), ("DaysOfWeek", "2"),
                 ("MonthsOfYear", "4095")]),
}

# What a trigger of the type gives when the field is missing and when it is negative: None for
# accepted without warning, a warning text, or ("refused", message).
FIELD_RULES = {
    "Interval": (NO_INTERVAL, negative_interval(-15)),
    "Duration": (NO_DURATION, None),  # -60 reads as an unsigned window far above the interval
    "Disabled": (None, None),
    "BeginDate": (("refused", NO_BEGIN), ("refused", NO_BEGIN)),
    "EndDate": (None, None),  # "-1" is no date, so no end
    "DaysInterval": (NO_DAYS_INTERVAL, None),
    "WeeksInterval": (NO_WEEKS_INTERVAL, None),
    "DaysOfWeek": (("refused", BAD_DAYS_OF_WEEK), None),  # -1 has every weekday bit
    "DaysOfMonth": (("refused", BAD_DAYS_OF_MONTH), None),
    "MonthsOfYear": (NO_MONTHS, None),
    "Week": (("refused", BAD_WEEK), ("refused", BAD_WEEK)),
}


def typed_trigger(trigger_type, attributes, elements):
    return trigger([("Type", str(trigger_type))] + attributes, elements)


def without(pairs, field):
    return [pair for pair in pairs if pair[0] != field]


def negated(pairs, field):
    # Disabled="0" has no negative form of its own; -1 is not the 1 that disables.
    negative = {"Disabled": "-1"}
    return [(n, negative.get(n, "-" + v) if n == field else v) for n, v in pairs]


def add_field_matrix(corpus):
    """Every trigger type 0 to 4 with each of its fields missing, then negative."""
    for trigger_type, (attributes, elements) in COMPLETE.items():
        corpus.accepted("type%d-complete" % trigger_type,
                        document(typed_trigger(trigger_type, attributes, elements)))
        with_disabled = attributes + [("Disabled", "0")]
        fields = [n for n, _ in with_disabled] + [n for n, _ in elements]
        for field in fields:
            for variant, change in (("missing", without), ("negative", negated)):
                if field in dict(with_disabled):
                    text = typed_trigger(trigger_type, change(with_disabled, field), elements)
                else:
                    text = typed_trigger(trigger_type, with_disabled, change(elements, field))
                rule = FIELD_RULES[field][0 if variant == "missing" else 1]
                name = "type%d-%s-%s" % (trigger_type, field.lower(), variant)
                if isinstance(rule, tuple):
                    corpus.refused(name, document(text), rule[1])
                else:
                    corpus.accepted(name, document(text), [rule] if rule else [])
    # The Type attribute itself: missing reads as 0; negative marks a trigger nobody reads.
    corpus.accepted("type-missing", document(trigger(REPEAT, [BEGIN])))
    corpus.accepted("type-negative-without-anything", document(trigger([("Type", "-1")], [])))
    corpus.accepted("type-negative-with-hostile-fields",
                    document(trigger([("Type", "-7"), ("Interval", "-1")],
                                     [("BeginDate", "garbage"), ("Week", "99")])))


def add_numbers(corpus):
    big = "99999999999999999999"
    corpus.accepted("type-beyond-32-bits",
                    document(typed_trigger(big, REPEAT, [BEGIN])))  # clamped: scheduled once
    corpus.accepted("type-below-32-bits", document(trigger([("Type", "-" + big)], [])))
    for trigger_type in (5, 6, 7, 8, 2147483647):
        corpus.accepted("type%d-scheduled-as-documented" % trigger_type,
                        document(typed_trigger(trigger_type, REPEAT, [BEGIN])))
    corpus.accepted("type-not-a-number", document(trigger([("Type", "weekly")] + REPEAT,
                                                          [BEGIN])))
    corpus.accepted("interval-beyond-32-bits-duration-below",
                    document(typed_trigger(0, [("Interval", big), ("Duration", "60")], [BEGIN])),
                    [SHORT_DURATION])
    corpus.accepted("interval-and-duration-beyond-32-bits",
                    document(typed_trigger(1, [("Interval", big), ("Duration", big)],
                                           [BEGIN, ("DaysInterval", "1")])))
    corpus.accepted("interval-longest-negative",
                    document(typed_trigger(0, [("Interval", "-2147483648"), ("Duration", "60")],
                                           [BEGIN])),
                    [negative_interval(-2147483648)])
    corpus.accepted("duration-below-interval",
                    document(typed_trigger(0, [("Interval", "61"), ("Duration", "60")], [BEGIN])),
                    [SHORT_DURATION])
    corpus.accepted("interval-with-sign-space-and-tail",
                    document(typed_trigger(0, [("Interval", "  +15min"), ("Duration", "60x")],
                                           [BEGIN])))
    corpus.accepted("interval-hexadecimal-reads-as-zero",
                    document(typed_trigger(0, [("Interval", "0x10"), ("Duration", "60")],
                                           [BEGIN])))
    corpus.accepted("interval-one-minute-for-a-year",
                    document(typed_trigger(1, [("Interval", "1"), ("Duration", "525600")],
                                           [BEGIN, ("DaysInterval", "1")])))
    corpus.accepted("days-interval-largest",
                    document(typed_trigger(1, REPEAT, [BEGIN, ("DaysInterval", "2147483647")])))
    corpus.accepted("days-interval-smallest",
                    document(typed_trigger(1, REPEAT, [BEGIN, ("DaysInterval", "-2147483648")])))
    corpus.accepted("weeks-interval-largest",
                    document(typed_trigger(2, REPEAT, [BEGIN, ("WeeksInterval", big),
                                                       ("DaysOfWeek", "127")])))
    corpus.accepted("weeks-interval-smallest",
                    document(typed_trigger(2, REPEAT, [BEGIN, ("WeeksInterval", "-" + big),
                                                       ("DaysOfWeek", "1")])))
    corpus.refused("days-of-week-only-bit-7",
                   document(typed_trigger(2, REPEAT, [BEGIN, ("DaysOfWeek", "128")])),
                   BAD_DAYS_OF_WEEK)
    corpus.refused("days-of-week-negative-without-weekdays",
                   document(typed_trigger(4, REPEAT, [BEGIN, ("Week", "1"),
                                                      ("DaysOfWeek", "-128")])),
                   BAD_DAYS_OF_WEEK)
    corpus.refused("days-of-month-only-bit-31",
                   document(typed_trigger(3, REPEAT, [BEGIN, ("DaysOfMonth", "-2147483648")])),
                   BAD_DAYS_OF_MONTH)
    corpus.accepted("days-of-month-31-only-in-february",
                    document(typed_trigger(3, REPEAT, [BEGIN, ("DaysOfMonth", "1073741824"),
                                                       ("MonthsOfYear", "2")])))
    corpus.accepted("months-of-year-only-bit-12",
                    document(typed_trigger(3, REPEAT, [BEGIN, ("DaysOfMonth", "1"),
                                                       ("MonthsOfYear", "4096")])),
                    [NO_MONTHS])
    corpus.accepted("months-of-year-beyond-32-bits",
                    document(typed_trigger(4, REPEAT, [BEGIN, ("Week", "5"),
                                                       ("DaysOfWeek", "64"),
                                                       ("MonthsOfYear", big)])))
    for week in ("0", "6", big):
        corpus.refused("week-%s" % week[:8],
                       document(typed_trigger(4, REPEAT, [BEGIN, ("Week", week),
                                                          ("DaysOfWeek", "2")])), BAD_WEEK)


def add_dates(corpus):
    def once(begin, end=None, trigger_type=0, extra=()):
        elements = [("BeginDate", begin)] + ([("EndDate", end)] if end else []) + list(extra)
        return document(typed_trigger(trigger_type, REPEAT, elements))

    for name, text in (("year-zero", "0000-01-01 10:00"), ("year-99", "0099-12-31 10:00"),
                       ("month-13", "2030-13-01 10:00"), ("day-32", "2030-01-32 10:00"),
                       ("february-30", "2030-02-30 10:00"),
                       ("february-29-no-leap", "2029-02-29 10:00"),
                       ("hour-24", "2030-01-01 24:00"), ("minute-60", "2030-01-01 10:60"),
                       ("second-60", "2030-01-01 10:00:60"),
                       ("year-five-digits", "20300-01-01 10:00"),
                       ("negative-date", "-2030-01-01"), ("empty-date", ""),
                       ("date-words", "tomorrow at noon"),
                       ("date-epoch-zero", "1899-12-30 00:00")):
        corpus.refused("begin-" + name, once(text), NO_BEGIN)
    corpus.accepted("begin-february-29-leap", once("2028-02-29 10:00"))
    corpus.accepted("begin-year-100", once("0100-01-01 00:00:00"))
    corpus.accepted("begin-last-second-of-9999", once("9999-12-31 23:59:59"))
    corpus.accepted("begin-us-form-and-t-form",
                    document(typed_trigger(0, REPEAT, [("BeginDate", "12/31/2030 23:59")]) +
                             typed_trigger(0, REPEAT, [("BeginDate", "2030-12-31T23:59:59")])))
    corpus.accepted("begin-before-the-epoch-daily",
                    once("1800-03-01 10:00", trigger_type=1, extra=[("DaysInterval", "1")]))
    corpus.accepted("begin-before-the-epoch-weekly",
                    once("1899-12-29 23:59", trigger_type=2,
                         extra=[("WeeksInterval", "3"), ("DaysOfWeek", "127")]))
    corpus.accepted("daily-at-the-end-of-time",
                    once("9999-12-30 23:00", trigger_type=1, extra=[("DaysInterval", "1")]))
    corpus.accepted("monthly-at-the-end-of-time",
                    once("9999-12-01 10:00", trigger_type=3,
                         extra=[("DaysOfMonth", "2147483647"), ("MonthsOfYear", "2048")]))
    corpus.accepted("monthly-dow-last-week-at-the-end-of-time",
                    once("9999-11-01 10:00", trigger_type=4,
                         extra=[("Week", "5"), ("DaysOfWeek", "127"), ("MonthsOfYear", "4095")]))
    corpus.accepted("weekly-at-the-end-of-time",
                    once("9999-12-25 10:00", trigger_type=2,
                         extra=[("WeeksInterval", "1000"), ("DaysOfWeek", "1")]))
    corpus.refused("end-before-begin-daily",
                   once("2030-01-02 10:00", "2030-01-01", 1, [("DaysInterval", "1")]), BAD_END)
    corpus.accepted("end-before-begin-once-is-not-read", once("2030-01-02 10:00", "2030-01-01"))
    corpus.accepted("end-equal-to-begin",
                    once("2030-01-02 10:00", "2030-01-02 10:00", 1, [("DaysInterval", "1")]))
    corpus.accepted("end-unreadable-is-no-end",
                    once("2030-01-02 10:00", "2030-02-31", 1, [("DaysInterval", "1")]))


def add_structure(corpus):
    valid = document(typed_trigger(2, REPEAT, [BEGIN, ("EndDate", "2031-01-01"),
                                               ("WeeksInterval", "1"), ("DaysOfWeek", "62")]))
    for cut in (0, 1, 10, 40, 80, 120, len(valid) // 2, len(valid) - 20, len(valid) - 1):
        corpus.refused("truncated-at-%04d" % cut, valid[:cut], NOT_XML)
    corpus.refused("only-white-space", " \n\t \n", NOT_XML)
    corpus.refused("two-document-elements", valid + valid, NOT_XML)
    corpus.refused("attribute-given-twice",
                   document('<Trigger Type="0" Type="1"><BeginDate>2030-01-01</BeginDate>'
                            '</Trigger>'), NOT_XML)
    corpus.refused("crossed-tags", "<Schedule><Task></Schedule></Task>", NOT_XML)
    corpus.refused("unclosed-comment", valid.replace("<Triggers>", "<Triggers><!-- open"),
                   NOT_XML)
    corpus.refused("unclosed-cdata", valid.replace("<Triggers>", "<Triggers><![CDATA[ open"),
                   NOT_XML)
    corpus.refused("attribute-without-quotes", valid.replace('Type="2"', "Type=2"), NOT_XML)
    corpus.refused("nul-byte-cuts-the-document", valid[:60].encode() + b"\0" +
                   valid[60:].encode(), NOT_XML)
    corpus.accepted("utf8-mark", b"\xef\xbb\xbf" + valid.encode())
    corpus.accepted("utf16-with-mark", b"\xff\xfe" + valid.encode("utf-16-le"))
    corpus.accepted("no-task-element", '<Schedule Name="Corpus"><Trigger Type="0"/></Schedule>')
    corpus.accepted("no-schedule-element",
                    "<Task><Triggers>%s</Triggers></Task>" % trigger(REPEAT, [BEGIN]),
                    task_name="")
    corpus.accepted("only-the-first-task-counts",
                    '<Schedule Name="Corpus"><Task/><Task>%s</Task></Schedule>'
                    % trigger([("Type", "2")], []))
    corpus.accepted("namespaced-trigger-is-no-trigger",
                    document('<x:Trigger xmlns:x="urn:x" Type="2"/>'))
    # The outer trigger finds its BeginDate inside the inner one: queries reach any depth.
    corpus.accepted("trigger-nested-in-trigger",
                    document('<Trigger Interval="15" Duration="60">%s</Trigger>'
                             % typed_trigger(1, REPEAT, [BEGIN, ("DaysInterval", "1")])))
    corpus.refused("nested-trigger-without-begin",
                   document(trigger(REPEAT, [BEGIN, ("Inner", trigger(REPEAT, []))])), NO_BEGIN)
    corpus.accepted("begin-date-in-cdata-and-comments",
                    document(typed_trigger(0, REPEAT, [("BeginDate",
                                                        "<!-- c --><![CDATA[2030-01-01]]>"
                                                        "<?pi x?> 10:00")])))
    corpus.accepted("begin-date-from-character-references",
                    document(typed_trigger(0, REPEAT, [("BeginDate",
                                                        "&#50;&#x30;30-01-01 10:00")])))
    # A reference to U+0000 would end the value it stands in: "2030-01-01" would be read.
    corpus.refused("nul-character-reference-in-begin-date",
                   document(typed_trigger(0, REPEAT, [("BeginDate", "2030-01-01&#0;10:00")])),
                   NOT_XML)
    corpus.refused("nul-character-reference-in-name",
                   document(typed_trigger(0, REPEAT, [BEGIN]), name="Corpus&#x0;Tail"), NOT_XML)
    corpus.refused("surrogate-character-reference",
                   document(typed_trigger(0, REPEAT, [BEGIN]), name="&#xD800;"), NOT_XML)
    corpus.refused("character-reference-beyond-unicode",
                   document(typed_trigger(0, REPEAT, [BEGIN]), name="&#99999999999999999999;"),
                   NOT_XML)
    # Written back, a raw control character would become a reference that does not read again.
    corpus.refused("raw-control-character",
                   document(typed_trigger(0, REPEAT, [BEGIN]), extra="<Parameters>\x10</Parameters>"),
                   NOT_XML)
    corpus.accepted("nul-character-reference-in-cdata-is-text",
                    document(typed_trigger(0, REPEAT, [BEGIN]),
                             extra="<Parameters><![CDATA[&#0;]]></Parameters>"))
    corpus.accepted("markup-characters-in-name",
                    document(typed_trigger(0, REPEAT, [BEGIN]), name="&lt;&amp;&gt;&quot;'"),
                    task_name="<&>\"'")
    corpus.accepted("unknown-entity-stays-text",
                    document(typed_trigger(0, REPEAT, [BEGIN]), name="&nbsp;"),
                    task_name="&nbsp;")
    depth = 30000
    corpus.accepted("deeply-nested-around-trigger",
                    document("<a>" * depth + typed_trigger(0, REPEAT, [BEGIN]) + "</a>" * depth))
    corpus.accepted("deeply-nested-inside-begin-date",
                    document(typed_trigger(0, REPEAT, [("BeginDate", "<b>" * depth + "2030-01-01"
                                                        + "</b>" * depth)])))
    corpus.refused("deeply-nested-never-closed", document("<a>" * depth), NOT_XML)
    many = typed_trigger(1, REPEAT, [BEGIN, ("DaysInterval", "1")])
    corpus.accepted("two-thousand-triggers", document(many * 2000))
    corpus.accepted("huge-name-attribute",
                    document(typed_trigger(0, REPEAT, [BEGIN]), name="N" * 300000),
                    task_name="*")
    corpus.accepted("thousands-of-attributes",
                    document(trigger(REPEAT + [("A%d" % i, "x") for i in range(10000)],
                                     [BEGIN])))
    corpus.accepted("huge-element-name",
                    document(typed_trigger(0, REPEAT, [BEGIN]), extra="<%s/>" % ("E" * 100000)))
    corpus.unreadable("larger-than-one-mebibyte",
                      document(typed_trigger(0, REPEAT, [BEGIN]),
                               extra="<Pad>%s</Pad>" % ("p" * (1024 * 1024))))


def add_encodings(corpus):
    valid = document(typed_trigger(0, REPEAT, [BEGIN])).encode()
    head, tail = valid[:20], valid[20:]
    for name, bad in (("lone-continuation-byte", b"\x80"), ("truncated-sequence", b"\xe2\x82"),
                      ("overlong-slash", b"\xc0\xaf"), ("encoded-surrogate", b"\xed\xa0\x80"),
                      ("beyond-unicode", b"\xf4\x90\x80\x80"), ("latin1-text", b"caf\xe9"),
                      ("byte-ff", b"\xff")):
        corpus.unreadable("invalid-utf8-" + name, head + bad + tail)
    corpus.unreadable("utf16-unpaired-surrogate",
                      b"\xff\xfe" + valid[:20].decode().encode("utf-16-le") + b"\x00\xd8" +
                      valid[20:].decode().encode("utf-16-le"))
    corpus.unreadable("utf8-mark-then-invalid", b"\xef\xbb\xbf" + head + b"\xc3" + tail)
    corpus.accepted("utf16-odd-last-byte", b"\xff\xfe" + valid.decode().encode("utf-16-le") +
                    b"\x00")
    corpus.accepted("non-ascii-name", document(typed_trigger(0, REPEAT, [BEGIN]),
                                               name="Sauvegarde nocturne \u00e9\u4e2d\U0001F600"),
                    task_name="Sauvegarde nocturne \u00e9\u4e2d\U0001F600")


def add_entities(corpus):
    laughs = ['<!ENTITY lol0 "lol">'] + [
        '<!ENTITY lol%d "%s">' % (i, ("&lol%d;" % (i - 1)) * 10) for i in range(1, 10)]
    laughs_dtd = "<!DOCTYPE Schedule [%s]>" % "".join(laughs)
    once = typed_trigger(0, REPEAT, [BEGIN])
    corpus.accepted("billion-laughs-in-name", document(once, name="&lol9;", prolog=laughs_dtd),
                    task_name="&lol9;")
    corpus.refused("billion-laughs-in-begin-date",
                   document(typed_trigger(0, REPEAT, [("BeginDate", "&lol9;")]),
                            prolog=laughs_dtd), NO_BEGIN)
    corpus.accepted("quadratic-blowup-in-name",
                    document(once, name="&big;" * 2000,
                             prolog='<!DOCTYPE Schedule [<!ENTITY big "%s">]>' % ("x" * 50000)),
                    task_name="&big;" * 2000)
    xxe = '<!DOCTYPE Schedule [<!ENTITY xxe SYSTEM "file:///etc/passwd">]>'
    corpus.accepted("external-entity-in-name", document(once, name="&xxe;", prolog=xxe),
                    task_name="&xxe;")
    corpus.accepted("external-entity-in-command",
                    document(once, prolog=xxe, extra="<Parameters>&xxe;</Parameters>"))
    corpus.refused("external-entity-as-begin-date",
                   document(typed_trigger(0, REPEAT, [("BeginDate", "&xxe;")]), prolog=xxe),
                   NO_BEGIN)
    corpus.refused("internal-entity-as-begin-date-is-not-expanded",
                   document(typed_trigger(0, REPEAT, [("BeginDate", "&when;")]),
                            prolog='<!DOCTYPE Schedule [<!ENTITY when "2030-01-01 10:00">]>'),
                   NO_BEGIN)
    corpus.accepted("external-dtd", document(once, prolog='<!DOCTYPE Schedule SYSTEM '
                                                          '"file:///etc/passwd">'))
    corpus.accepted("parameter-entity",
                    document(once, prolog='<!DOCTYPE Schedule [<!ENTITY % p SYSTEM '
                                          '"file:///etc/passwd"> %p;]>'))
    corpus.accepted("deeply-nested-doctype-groups",
                    document(once, prolog="<!DOCTYPE Schedule [%s]>"
                                          % ("<![INCLUDE[" * 5000 + "]]>" * 5000)))
    corpus.refused("unterminated-doctype", "<!DOCTYPE Schedule [" + document(once), NOT_XML)
    corpus.accepted("xml-declaration-claims-another-encoding",
                    '<?xml version="1.0" encoding="ISO-8859-1"?>' + document(once))


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    corpus = Corpus()
    add_field_matrix(corpus)
    add_numbers(corpus)
    add_dates(corpus)
    add_structure(corpus)
    add_encodings(corpus)
    add_entities(corpus)
    corpus.write_manifest()
    print("%d documents in %s" % (len(corpus.rows), OUT))


if __name__ == "__main__":
    main()
