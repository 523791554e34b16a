package com.example.util;

import java.io.PrintStream;
import java.util.List;

/** Formats what the launcher handed to the program: a small library in a jar of its own. */
public final class Report {
    private final PrintStream out;

    public Report(PrintStream out) {
        this.out = out;
    }

    public void heading(String text) {
        out.println();
        out.println("== " + text);
    }

    public void entry(String name, Object value) {
        out.println("  " + name + ": " + (value == null ? "(not set)" : value));
    }

    public void list(String name, List<String> items) {
        out.println("  " + name + " (" + items.size() + "):");
        for (int i = 0; i < items.size(); i++) {
            out.println("    [" + i + "] " + items.get(i));
        }
    }
}
