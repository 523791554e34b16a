package com.example.hello;

import com.example.util.Report;

import java.awt.GraphicsEnvironment;
import java.io.BufferedReader;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.swing.JOptionPane;
import javax.swing.SwingUtilities;

/**
 * The sample application started by vmboot. It reports what the launcher prepared (its
 * arguments, the class path, the heap limit, the runtime the launcher chose) on standard
 * output, which the sample's configuration redirects to
 * %LOCALAPPDATA%\vmboot Sample\logs\HelloApp-out.log, and with "--window" shows the greeting
 * in a window. An argument that names a file is a document: opened from the shell (a .hello
 * file, once the installer has registered the type), its path arrives as an argument; with
 * "Single Instance" a later document reaches the running program through secondaryMain.
 */
public final class HelloApp {
    /** Called by the launcher for each later start while this program runs. */
    public static void secondaryMain(String[] args) {
        Report report = new Report(System.out);
        report.heading("Opened by a later start");
        report.list("arguments", Arrays.asList(args));
        for (String arg : args) {
            reportDocument(report, arg);
        }
        System.out.flush();
    }

    private static void reportDocument(Report report, String path) {
        File file = new File(path);
        if (!file.isFile()) {
            return;
        }
        report.entry("document", file.getAbsolutePath());
        try (BufferedReader in = new BufferedReader(new InputStreamReader(
                new FileInputStream(file), StandardCharsets.UTF_8))) {
            report.entry("document's first line", in.readLine());
        } catch (IOException e) {
            report.entry("document unreadable", e.getMessage());
        }
    }

    public static void main(String[] args) throws Exception {
        String greeting = "Hello";
        boolean window = false;
        List<String> rest = new ArrayList<>();
        for (int i = 0; i < args.length; i++) {
            if (args[i].equals("--greeting") && i + 1 < args.length) {
                greeting = args[++i];
            } else if (args[i].equals("--window")) {
                window = true;
            } else if (args[i].equals("--exit") && i + 1 < args.length) {
                System.exit(Integer.parseInt(args[++i]));
            } else {
                rest.add(args[i]);
            }
        }

        Report report = new Report(System.out);
        report.heading(greeting);
        report.list("arguments", Arrays.asList(args));
        report.list("other arguments", rest);
        for (String arg : rest) {
            reportDocument(report, arg);
        }
        report.heading("What the launcher prepared");
        report.list("class path", Arrays.asList(
                System.getProperty("java.class.path", "").split(File.pathSeparator)));
        report.entry("maximum heap (MiB)", Runtime.getRuntime().maxMemory() / (1024 * 1024));
        report.entry("sample.mode", System.getProperty("sample.mode"));
        report.entry("QL_JVM_HOME", System.getenv("QL_JVM_HOME"));
        report.entry("QL_JVM_PATH", System.getenv("QL_JVM_PATH"));
        report.entry("java.home", System.getProperty("java.home"));
        report.entry("java.version", System.getProperty("java.version"));
        report.entry("working directory", System.getProperty("user.dir"));
        System.out.flush();

        if (window && !GraphicsEnvironment.isHeadless()) {
            final String message = greeting + "\n\nArguments: " + Arrays.toString(args)
                    + "\nRuntime: " + System.getProperty("java.home")
                    + "\nDetails: %LOCALAPPDATA%\\vmboot Sample\\logs\\HelloApp-out.log";
            SwingUtilities.invokeAndWait(() -> JOptionPane.showMessageDialog(
                    null, message, "vmboot sample", JOptionPane.INFORMATION_MESSAGE));
            // The dialog's event thread would keep the process alive; the program is done.
            System.exit(0);
        }
    }
}
