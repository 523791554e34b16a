package parity;

/** A main class whose static initialiser throws, as one reading a missing setting would. */
public final class BadInit {
    static final String SETTING = setting();

    static String setting() {
        throw new IllegalStateException("no setting");
    }

    public static void main(String[] args) {
        System.out.println("main ran: " + SETTING);
    }
}
