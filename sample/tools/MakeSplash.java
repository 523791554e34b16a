import java.awt.Color;
import java.awt.Font;
import java.awt.GradientPaint;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;
import java.io.File;
import javax.imageio.ImageIO;

/** Draws the sample's splash image (run headless at build time): MakeSplash out.png */
public final class MakeSplash {
    public static void main(String[] args) throws Exception {
        int width = 420;
        int height = 220;
        BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = image.createGraphics();
        g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
        g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING,
                RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
        g.setPaint(new GradientPaint(0, 0, new Color(0x1F4E79), width, height,
                new Color(0x2E8B57)));
        g.fillRect(0, 0, width, height);
        g.setColor(new Color(255, 255, 255, 40));
        for (int x = -height; x < width; x += 24) g.drawLine(x, height, x + height, 0);
        g.setColor(Color.WHITE);
        g.setFont(new Font(Font.SANS_SERIF, Font.BOLD, 40));
        g.drawString("HelloApp", 32, 100);
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 18));
        g.drawString("started by vmboot", 34, 132);
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 13));
        g.drawString("loading the Java runtime\u2026", 34, 190);
        g.dispose();
        ImageIO.write(image, "png", new File(args[0]));
    }
}
