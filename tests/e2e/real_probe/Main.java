package probe;

import java.awt.Frame;
import java.awt.SplashScreen;
import java.io.File;
import java.io.FileOutputStream;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;

/**
 * The Java program of the real-runtime tests. The first argument picks what it does; every
 * report goes to standard output as "key: value" lines, non-ASCII text escaped as \\uXXXX
 * so that the result does not depend on the runtime's default encoding.
 */
public final class Main {
    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "report";
        switch (mode) {
            case "report":
                for (String argument : args) say("arg", escape(argument));
                say("java.home", System.getProperty("java.home"));
                say("maxMemory", Runtime.getRuntime().maxMemory());
                String[] entries = System.getProperty("java.class.path", "").split(File.pathSeparator);
                int count = 0;
                for (String entry : entries) if (!entry.isEmpty()) count++;
                say("classPathEntries", count);
                // Resources that only the generated jars of the class-path case hold.
                int found = 0;
                for (int i = 0; i < 200; i++) {
                    if (Main.class.getResource("/gen/r" + i + ".txt") != null) found++;
                }
                say("generatedResources", found);
                break;
            case "version":
                // A class of a jar the sharing cases replace, as the VM finds it.
                say("version", Class.forName("gen.Version").getField("V").get(null));
                break;
            case "exit":
                System.exit(Integer.parseInt(args[1]));
                break;
            case "thread-exit":
                // main returns; a non-daemon thread ends the VM later with a status.
                startThread(Long.parseLong(args[2]), Integer.valueOf(args[1]), null);
                break;
            case "thread":
                startThread(Long.parseLong(args[1]), null, null);
                say("main", "returned");
                break;
            case "throw":
                throw new IllegalStateException("boom Gr\u00fc\u00dfe \u20ac");
            case "thread-exit-then-throw":
                startThread(Long.parseLong(args[2]), Integer.valueOf(args[1]), null);
                throw new IllegalStateException("thrown while a thread runs");
            case "wait-file":
                // The primary of the single-instance case: main returns at once, as a Swing
                // application's does, and a non-daemon thread keeps the program alive.
                startThread(0, null, new File(args[1]));
                say("main", "returned");
                break;
            case "streams":
                System.out.println("out-1");
                System.out.flush();
                System.err.println("err-1");
                System.err.flush();
                System.out.println("out-2");
                System.out.flush();
                break;
            case "splash-close":
                say("splashBefore", splashVisible());
                SplashScreen.getSplashScreen().close();
                say("splashAfter", splashVisible());
                break;
            case "splash-window":
                say("splashBefore", splashVisible());
                Frame frame = new Frame("probe window");
                frame.setSize(200, 100);
                frame.setVisible(true);
                say("splashAfter", splashVisible());
                frame.dispose();
                System.exit(0);
                break;
            case "frame-later":
                // A Swing application that makes its window (the toolkit's windows and the
                // frame's own, still hidden), says so with the file STOP.made, shows it after
                // DELAY ms and runs on until the file STOP exists.
                File stop = new File(args[2]);
                javax.swing.JFrame[] window = new javax.swing.JFrame[1];
                javax.swing.SwingUtilities.invokeAndWait(() -> {
                    window[0] = new javax.swing.JFrame("probe frame");
                    window[0].setSize(320, 200);
                    window[0].addNotify();
                });
                new File(args[2] + ".made").createNewFile();
                Thread.sleep(Long.parseLong(args[1]));
                javax.swing.SwingUtilities.invokeAndWait(() -> window[0].setVisible(true));
                while (!stop.exists()) Thread.sleep(50);
                System.exit(0);
                break;
            default:
                throw new IllegalArgumentException(mode);
        }
    }

    /** The int form: the second start exits with the number of arguments plus 40. */
    public static int secondaryMain(String[] args) {
        StringBuilder text = new StringBuilder();
        for (String argument : args) text.append('[').append(escape(argument)).append(']');
        say("secondaryMain", text);
        return args.length + 40;
    }

    private static void startThread(long millis, Integer exitCode, File waitFor) {
        Thread thread = new Thread(() -> {
            try {
                if (waitFor != null) {
                    while (!waitFor.exists()) Thread.sleep(50);
                } else {
                    Thread.sleep(millis);
                }
            } catch (InterruptedException e) {
                return;
            }
            say("thread", "done");
            if (exitCode != null) System.exit(exitCode);
        });
        thread.setDaemon(false);
        thread.start();
    }

    private static boolean splashVisible() {
        SplashScreen splash = SplashScreen.getSplashScreen();
        return splash != null && splash.isVisible();
    }

    private static synchronized void say(String key, Object value) {
        System.out.println(key + ": " + value);
        System.out.flush();
    }

    static String escape(String text) {
        StringBuilder out = new StringBuilder();
        for (char c : text.toCharArray()) {
            if (c >= 0x20 && c < 0x7f && c != '\\') {
                out.append(c);
            } else {
                out.append(String.format("\\u%04x", (int) c));
            }
        }
        return out.toString();
    }
}
